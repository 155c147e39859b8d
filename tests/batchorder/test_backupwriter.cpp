#include "cbatchorderbackupwriter.h"
#include "cbatchorderdata.h"

#include "common/ctesthost.h"
#include "common/rowname.h"
#include "common/waituntil.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <mutex>

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
    CBackupWriterTest()
    {
        m_connection =
            m_writer.m_sigMessage.connect([this](TC::EBatchOrderMsgLevel eLevel, const QString& str) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_messages << QString::number(eLevel) + QLatin1Char(' ') + str;
            });
    }

    QStringList messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }

    QByteArray fileBytes() const
    {
        QFile file(m_writer.backupFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }
    // Appends the record of this line as a batch of its own; the row it must leave.
    QByteArray append(const QString& strLine, bool bWritten = true)
    {
        const auto pData = record(strLine);
        EXPECT_EQ(m_writer.append({pData}), bWritten) << strLine.toStdString();
        return pData->toString().toUtf8() + '\n';
    }

    CTestHost m_host;
    CBatchOrderBackupWriter m_writer;
    mutable std::mutex m_mutex;
    QStringList m_messages; // "<level> <text>", from the strand's stand-in (this thread) and the syncer
    boost::signals2::scoped_connection m_connection;
};

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
    EXPECT_EQ(QFileInfo(m_writer.backupFileName()).permissions() & 0x0FF, QFileDevice::Permissions())
        << "readable by the owner only";

    QFile file(m_writer.backupFileName());
    ASSERT_TRUE(file.remove());
    expected = append(QStringLiteral("23,5,10,000002,300"));
    EXPECT_EQ(fileBytes(), kBom + kHeader + expected) << "deleted between two batches";
    ASSERT_TRUE(file.resize(0));
    expected = append(QStringLiteral("23,5,10,000003,400"));
    EXPECT_EQ(fileBytes(), kBom + expected) << "there but empty";
}

// ---- write failures: reported once per spell, later batches written again -------------------------------

enum EFault
{
    DISK_FULL,           // every write fails (today's file is a link to /dev/full)
    DIRECTORY_MISSING,   // the open fails; the writer must not create the directory
    DIRECTORY_IS_A_FILE, // the open fails
};

struct CFaultRow : CNamedRow
{
    EFault m_eFault;
};

class CBackupFaultTest : public CBackupWriterTest, public ::testing::WithParamInterface<CFaultRow>
{
protected:
    // Today's file or the directory moves aside and the fault takes its place; heal() undoes both.
    QString target() const
    {
        return GetParam().m_eFault == DISK_FULL ? m_writer.backupFileName() : m_host.batchOrderDir();
    }
    void inject()
    {
        ASSERT_TRUE(QDir().rename(target(), target() + ".saved"));
        const EFault eFault = GetParam().m_eFault;
        EXPECT_TRUE(eFault != DISK_FULL || QFile::link(QStringLiteral("/dev/full"), target()));
        EXPECT_TRUE(eFault != DIRECTORY_IS_A_FILE || QFile(target()).open(QIODevice::WriteOnly));
    }
    void heal()
    {
        if (GetParam().m_eFault == DIRECTORY_MISSING)
            EXPECT_FALSE(QFileInfo::exists(target())) << "the writer created the directory";
        else
            ASSERT_TRUE(QFile::remove(target()));
        ASSERT_TRUE(QDir().rename(target() + ".saved", target()));
    }
};

const CFaultRow kFaultRows[] = {
    {"DiskFull", DISK_FULL},
    {"DirectoryMissing", DIRECTORY_MISSING},
    {"DirectoryIsAFile", DIRECTORY_IS_A_FILE},
};

TEST_P(CBackupFaultTest, OneErrorPerSpellAndOneNoteOnRecovery)
{
    const QByteArray first = append(QStringLiteral("23,5,10,600000,100"));
    inject();
    append(QStringLiteral("23,5,10,600001,100"), false);
    append(QStringLiteral("23,5,10,600002,100"), false);
    QStringList all = messages();
    ASSERT_EQ(all.size(), 1) << all.join('\n').toStdString();
    EXPECT_TRUE(all[0].startsWith(QStringLiteral("4 ")) && all[0].contains(m_writer.backupFileName()))
        << all[0].toStdString();

    heal();
    const QByteArray later = append(QStringLiteral("23,5,10,600003,100"));
    append(QStringLiteral("23,5,10,600004,100"));
    all = messages();
    ASSERT_EQ(all.size(), 2) << all.join('\n').toStdString();
    EXPECT_TRUE(all[1].startsWith(QStringLiteral("8 ")) && all[1].contains(QStringLiteral("2 条")))
        << "the recovery names the records missing from the file: " << all[1].toStdString();
    EXPECT_TRUE(fileBytes().startsWith(kBom + kHeader + first + later)) << fileBytes().toStdString();

    inject();
    append(QStringLiteral("23,5,10,600005,100"), false);
    EXPECT_EQ(messages().size(), 3) << "a new spell is reported again";
    heal();
}

INSTANTIATE_TEST_SUITE_P(Rows, CBackupFaultTest, ::testing::ValuesIn(kFaultRows), rowName);

// Instruction file copies go once the backup is synced, on the writer's thread while more batches are
// appended; a sync that fails keeps its file and says so.
TEST_F(CBackupWriterTest, QueuedFilesGoOnceTheBackupIsSynced)
{
    constexpr int kBatches = 100;
    const auto fileOf = [&](int i) { return m_host.dataDir() + QStringLiteral("/orders_tmp%1.csv").arg(i); };
    for (int i = 0; i <= kBatches; ++i)
        ASSERT_TRUE(QFile(fileOf(i)).open(QIODevice::WriteOnly));
    for (int i = 0; i < kBatches; ++i) {
        append(QStringLiteral("23,5,10,600000,100,,,,,batch%1").arg(i));
        m_writer.removeOnceSynced(fileOf(i));
    }
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(fileOf(kBatches - 1)); }));
    for (int i = 0; i < kBatches; ++i)
        EXPECT_FALSE(QFile::exists(fileOf(i))) << i;
    EXPECT_TRUE(messages().isEmpty()) << messages().join('\n').toStdString();

    append(QStringLiteral("23,5,10,600001,100")); // after the syncs above, so the next one has work
    const QString strFile = m_writer.backupFileName();
    ASSERT_TRUE(QFile::rename(strFile, strFile + ".saved") &&
                QFile::link(QStringLiteral("/dev/full"), strFile));
    m_writer.removeOnceSynced(fileOf(kBatches));
    ASSERT_TRUE(waitUntil([&] { return !messages().isEmpty(); }));
    EXPECT_TRUE(messages()[0].startsWith(QStringLiteral("4 "))) << messages()[0].toStdString();
    EXPECT_TRUE(QFile::exists(fileOf(kBatches))) << "removed although its records may not be on disk";
}

TEST(CBackupWriterNoHostTest, WithoutConfiguredDirectoryNothingIsWritten)
{
    CBatchOrderBackupWriter writer;
    const QString strStray = writer.backupFileName();
    ASSERT_FALSE(QFile::exists(strStray));
    EXPECT_FALSE(writer.append({record(QStringLiteral("23,5,10,600000,100"))}));
    EXPECT_FALSE(QFile::exists(strStray));
}

} // namespace
