#include "cbatchorderbackupwriter.h"
#include "cbatchorderdata.h"

#include "common/ctesthost.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

namespace {

using TC::CBatchOrderBackupWriter;
using TC::CBatchOrderData;

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kHeader("ORDER_TYPE,PRICE_TYPE,MODE_PRICE,STOCK_CODE,VOLUME,ACCOUNT_ID,ACT_TYPE,BROKERTYPE,"
                         "STRATEGY,NOTE,NOTE1,TRADEPARAM,COMMAND_ID,BASKETPATH,INSERTTIME,EXTRAPARAM\n");

boost::shared_ptr<CBatchOrderData> record(const QString& strLine)
{
    return boost::make_shared<CBatchOrderData>(strLine);
}

class CBackupWriterTest : public ::testing::Test
{
protected:
    QByteArray fileBytes() const
    {
        QFile file(m_writer.backupFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }
    // Appends the record of this line as a batch of its own; the row it must leave.
    QByteArray append(const QString& strLine)
    {
        const auto pData = record(strLine);
        m_writer.append({pData});
        return pData->toString().toUtf8() + '\n';
    }

    CTestHost m_host;
    CBatchOrderBackupWriter m_writer;
};

TEST_F(CBackupWriterTest, FileIsNamedAfterTodayInTheBatchOrderDirectory)
{
    const QString strToday = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QString strName = m_writer.backupFileName();
    // Unless midnight passed in between.
    EXPECT_TRUE(strName == m_host.batchOrderDir() + "/batchOrder_back_" + strToday + ".csv"
                || strToday != QDate::currentDate().toString(QStringLiteral("yyyyMMdd")))
        << strName.toStdString();
}

// Orders, cancels and tasks each leave one row, in line order; null entries are skipped. The header
// comes only with the batch that creates the file, the mark whenever a batch starts an empty file.
TEST_F(CBackupWriterTest, HeaderOnlyFromTheBatchThatCreatesTheFile)
{
    const QVector<boost::shared_ptr<CBatchOrderData>> first{
        record(QStringLiteral("23,5,10,600000,100")), nullptr, record(QStringLiteral("cancel_order,88,ORD1")),
        record(QStringLiteral("208,arg"))};
    m_writer.append(first);
    QByteArray expected = kBom + kHeader;
    for (const auto& pData : first)
        expected += pData ? pData->toString().toUtf8() + '\n' : QByteArray();
    expected += append(QStringLiteral("23,5,10,000001,200,,,,,备注"));
    EXPECT_EQ(fileBytes(), expected);

    QFile file(m_writer.backupFileName());
    ASSERT_TRUE(file.remove());
    expected = append(QStringLiteral("23,5,10,000002,300"));
    EXPECT_EQ(fileBytes(), kBom + kHeader + expected) << "deleted between two batches";
    ASSERT_TRUE(file.resize(0));
    expected = append(QStringLiteral("23,5,10,000003,400"));
    EXPECT_EQ(fileBytes(), kBom + expected) << "there but empty";
}

TEST_F(CBackupWriterTest, ValueWithCommaSpreadsOverColumnsUnquoted)
{
    const auto pData = record(QStringLiteral("23,5,10,600000,100"));
    pData->m_strNote = QStringLiteral("a,b,\"c\"");
    m_writer.append({pData});
    const QByteArray row = fileBytes().split('\n').value(1);
    EXPECT_TRUE(row.contains(",a,b,\"c\",")) << row.toStdString();
    EXPECT_EQ(row.count(','), 17) << "18 columns where the header has 16";
}

TEST_F(CBackupWriterTest, MissingDirectoryIsNotCreated)
{
    ASSERT_TRUE(QDir(m_host.batchOrderDir()).removeRecursively());
    append(QStringLiteral("23,5,10,600000,100"));
    EXPECT_FALSE(QDir(m_host.batchOrderDir()).exists());
}

TEST(CBackupWriterNoHostTest, WithoutConfiguredDirectoryNothingIsWritten)
{
    CBatchOrderBackupWriter writer;
    const QString strStray = writer.backupFileName();
    ASSERT_FALSE(QFile::exists(strStray));
    writer.append({record(QStringLiteral("23,5,10,600000,100"))});
    EXPECT_FALSE(QFile::exists(strStray));
}

} // namespace
