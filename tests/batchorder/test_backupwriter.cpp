#include "cbatchorderbackupwriter.h"
#include "cbatchorderdata.h"

#include "common/ctesthost.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include <memory>

namespace {

using TC::CBatchOrderBackupWriter;
using TC::CBatchOrderData;
using CDatas = QVector<boost::shared_ptr<CBatchOrderData>>;

const QByteArray kBom("\xEF\xBB\xBF");
const QByteArray kHeader("ORDER_TYPE,PRICE_TYPE,MODE_PRICE,STOCK_CODE,VOLUME,ACCOUNT_ID,ACT_TYPE,BROKERTYPE,"
                         "STRATEGY,NOTE,NOTE1,TRADEPARAM,COMMAND_ID,BASKETPATH,INSERTTIME,EXTRAPARAM\n");

boost::shared_ptr<CBatchOrderData> record(const QString& strStock, const QString& strNote = QString())
{
    auto pData = boost::make_shared<CBatchOrderData>();
    pData->m_strOrderType = QStringLiteral("23");
    pData->m_strStockCode = strStock;
    pData->m_strNote = strNote;
    return pData;
}

// The row a default record with this stock code and note is written as.
QByteArray row(const QString& strStock, const QString& strNote = QString())
{
    return QStringLiteral("23,,,%1,18446744073709551615,,,,,%2,,,,,,\n").arg(strStock, strNote).toUtf8();
}

class CBackupWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
        m_pHost->orderService().addBatchOrderStrategy(999);
    }

    QByteArray fileBytes() const
    {
        QFile file(m_writer.backupFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<CTestHost> m_pHost;
    CBatchOrderBackupWriter m_writer;
};

TEST_F(CBackupWriterTest, FileIsNamedAfterTodayInTheBatchOrderDirectory)
{
    const QDate before = QDate::currentDate();
    const QString strName = m_writer.backupFileName();
    const QDate after = QDate::currentDate();
    const QString strPrefix = m_pHost->batchOrderDir() + QStringLiteral("/batchOrder_back_");
    EXPECT_TRUE(strName == strPrefix + before.toString("yyyyMMdd") + ".csv"
                || strName == strPrefix + after.toString("yyyyMMdd") + ".csv")
        << strName.toStdString();
}

TEST_F(CBackupWriterTest, FirstBatchWritesMarkAndHeaderLaterBatchesOnlyRows)
{
    m_writer.append({record("600000", QStringLiteral("备注"))});
    m_writer.append({record("000001"), record("000002")});
    EXPECT_EQ(fileBytes(), kBom + kHeader + row("600000", QStringLiteral("备注")) + row("000001") + row("000002"));
}

TEST_F(CBackupWriterTest, ExistingEmptyFileGetsNoHeader)
{
    QFile file(m_writer.backupFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    m_writer.append({record("600000")});
    EXPECT_EQ(fileBytes(), kBom + row("600000"));
}

TEST_F(CBackupWriterTest, DeletedFileStartsAgainWithHeader)
{
    m_writer.append({record("600000")});
    ASSERT_TRUE(QFile::remove(m_writer.backupFileName()));
    m_writer.append({record("000001")});
    EXPECT_EQ(fileBytes(), kBom + kHeader + row("000001"));
}

TEST_F(CBackupWriterTest, ValueWithCommaSpreadsOverColumnsUnquoted)
{
    m_writer.append({record("600000", QStringLiteral("a,b,\"c\""))});
    const QList<QByteArray> lines = fileBytes().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[1].split(',').size(), 18);
    EXPECT_TRUE(lines[1].contains(",a,b,\"c\","));
}

TEST_F(CBackupWriterTest, NullRecordsAreSkipped)
{
    m_writer.append({nullptr, record("600000"), nullptr});
    EXPECT_EQ(fileBytes(), kBom + kHeader + row("600000"));
}

TEST_F(CBackupWriterTest, OrderCancelAndTaskEachWriteOneRowInOrder)
{
    const CDatas datas{boost::make_shared<CBatchOrderData>(QStringLiteral("23,5,10,600000,100")),
                       boost::make_shared<CBatchOrderData>(QStringLiteral("cancel_order,8889,ORD1")),
                       boost::make_shared<CBatchOrderData>(QStringLiteral("208,arg"))};
    m_writer.append(datas);
    QList<QByteArray> lines = fileBytes().mid(kBom.size()).split('\n');
    ASSERT_EQ(lines.size(), 5); // header, three rows, and the empty text after the last "\n"
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines[i + 1], datas[i]->toString().toUtf8());
}

TEST_F(CBackupWriterTest, MissingDirectoryWritesNothing)
{
    ASSERT_TRUE(QDir(m_pHost->batchOrderDir()).removeRecursively());
    m_writer.append({record("600000")});
    EXPECT_FALSE(QFile::exists(m_writer.backupFileName()));
    EXPECT_FALSE(QDir(m_pHost->batchOrderDir()).exists());
}

TEST(CBackupWriterNoHostTest, WithoutConfiguredDirectoryNothingIsWritten)
{
    CBatchOrderBackupWriter writer;
    const QString strStray = writer.backupFileName();
    ASSERT_FALSE(QFile::exists(strStray));
    writer.append({record("600000")});
    EXPECT_FALSE(QFile::exists(strStray));
}

} // namespace
