#include "common/clogcapture.h"
#include "config/cconfig.h"
#include "config/cuserconfig.h"

#include <boost/signals2/connection.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using TC::CConfig;
using TC::CUserConfig;
using TC::EUserMember;

namespace {

class UserConfigTest : public ::testing::Test
{
protected:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("user.ini")); }
    std::unique_ptr<CUserConfig> open()
    {
        return std::make_unique<CUserConfig>(iniPath(), TC::CHostProfile());
    }
    // A fresh copy of the file, which only the disk can fill: settings objects share a cache per file.
    std::unique_ptr<CUserConfig> restart()
    {
        const QString strCopy = m_dir.filePath(QStringLiteral("restart%1.ini").arg(++m_nRestarts));
        EXPECT_TRUE(QFile::copy(iniPath(), strCopy));
        return std::make_unique<CUserConfig>(strCopy, TC::CHostProfile());
    }
    QString iniText() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    int m_nRestarts = 0;
};

} // namespace

TEST_F(UserConfigTest, SettingsSurviveARestart)
{
    auto pConfig = open();
    EXPECT_FALSE(pConfig->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED));
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY), QString());
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QString());
    EXPECT_FALSE(QFile::exists(iniPath())) << "reading alone must not create the file";

    pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, false);
    pConfig->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("Ctrl+Shift+F9"), false);
    const auto eUnnamed = static_cast<EUserMember>(500); // a member without a name of its own is kept too
    pConfig->setUserDataString(eUnnamed, QStringLiteral("kept"), false);
    auto pRestarted = restart();
    EXPECT_TRUE(pRestarted->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY),
              QStringLiteral("Ctrl+Shift+F9"));
    EXPECT_EQ(pRestarted->getUserDataString(eUnnamed), QStringLiteral("kept"));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QString()) << "no clash with 84";

    pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, false, false);
    EXPECT_FALSE(restart()->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED))
        << "switching off is kept too";
    // Texts that ini files treat specially come back unchanged.
    for (const char* pText :
         {"/数据/批量 下单/指令.csv", "/a,b.csv", "Ctrl+,", "Ctrl+;", "/a=b.csv", "/#1.csv", "/\"q\".csv",
          "C:\\交易\\batch order\\o.csv", "  /x.csv  ", "true"}) {
        pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QString::fromUtf8(pText), false);
        EXPECT_EQ(restart()->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QString::fromUtf8(pText));
    }
    // Keys are readable and Chinese is not escaped, for whoever edits the file by hand.
    pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/订单/in.csv"), false);
    EXPECT_TRUE(iniText().contains(QStringLiteral("[batchorder]\ninstructionFile=/订单/in.csv")))
        << iniText().toStdString();
    EXPECT_TRUE(iniText().contains(QStringLiteral("shortcutKey=Ctrl+Shift+F9"))) << iniText().toStdString();
}

TEST_F(UserConfigTest, ChangeIsAnnouncedOnlyWhenAskedAndAfterTheLockIsReleased)
{
    auto pConfig = open();
    CUserConfig* pRaw = pConfig.get();
    std::vector<std::pair<EUserMember, QString>> changes;
    // The slot reads the settings again: announcing under the settings lock would deadlock.
    boost::signals2::scoped_connection connection =
        pConfig->m_sigChanged.connect([&changes, pRaw](EUserMember e) {
            changes.emplace_back(e, pRaw->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH));
        });
    auto pDone = std::make_shared<std::promise<void>>();
    std::thread setter([pRaw, pDone] {
        pRaw->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/新/路径.csv"), true);
        pRaw->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, true);
        pRaw->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F1"), false);
        pRaw->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, false, false);
        pDone->set_value();
    });
    if (pDone->get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        setter.detach();
        FAIL() << "set did not return: the change is announced while the settings are locked";
    }
    setter.join();
    using CChange = std::pair<EUserMember, QString>;
    EXPECT_EQ(changes, (std::vector<CChange>{{TC::USER_BATCH_ORDER_FILE_PATH, "/新/路径.csv"},
                                             {TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, "/新/路径.csv"}}));
}

TEST_F(UserConfigTest, ConcurrentSetsAndGetsLoseNothing)
{
    auto pConfig = open();
    std::vector<std::thread> threads;
    for (const EUserMember eMember : {TC::USER_BATCH_ORDER_FILE_PATH, TC::USER_BATCH_ORDER_SHORTCUT_KEY}) {
        threads.emplace_back([&pConfig, eMember] {
            for (int i = 0; i < 20; ++i)
                pConfig->setUserDataString(eMember, QStringLiteral("/p/%1").arg(i), true);
        });
    }
    threads.emplace_back([&pConfig] {
        for (int i = 0; i < 20; ++i) {
            const QString strPath = pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH);
            EXPECT_TRUE(strPath.isEmpty() || strPath.startsWith(QStringLiteral("/p/")))
                << strPath.toStdString();
        }
    });
    for (std::thread& thread : threads)
        thread.join();
    auto pRestarted = restart();
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QStringLiteral("/p/19"));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY), QStringLiteral("/p/19"));
}

TEST_F(UserConfigTest, UnwritableIniKeepsTheValueAndSaysSo)
{
    ASSERT_TRUE(QDir().mkpath(iniPath())); // even root cannot write a directory

    CLogCapture capture;
    auto pConfig = open();
    // Announced to the user: the log alone may be on the same full disk.
    std::vector<std::pair<QString, QString>> failures;
    boost::signals2::scoped_connection connection =
        pConfig->m_sigSaveFailed.connect([&failures](const QString& strKey, const QString& strFile) {
            failures.emplace_back(strKey, strFile);
        });
    pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/x.csv"), false);
    pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, false);
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QStringLiteral("/x.csv"));
    EXPECT_TRUE(
        capture.contains("batchorder/instructionFile kept in memory only, " + iniPath().toStdString()));
    EXPECT_EQ(failures, (std::vector<std::pair<QString, QString>>{
                            {QStringLiteral("batchorder/instructionFile"), iniPath()},
                            {QStringLiteral("batchorder/shortcutEnabled"), iniPath()}}));

    // Once the file can be written again, the next set writes everything held and reports nothing.
    ASSERT_TRUE(QDir(iniPath()).removeRecursively());
    pConfig->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F2"), false);
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_TRUE(iniText().contains(QStringLiteral("instructionFile=/x.csv"))) << iniText().toStdString();
}

TEST(ConfigTest, BatchOrderDirIsInTheDataDirOnceInstalled)
{
    QTemporaryDir dir;
    EXPECT_EQ(TC::getDefaultBatchOrderDir(), QString());
    CConfig config(dir.filePath(QStringLiteral("deep/数据")), QString(), QString());
    utils::CManualSingletonT<CConfig>::setInstance(&config);
    EXPECT_EQ(TC::getDefaultBatchOrderDir(), dir.filePath(QStringLiteral("deep/数据/batchorder")));
    utils::CManualSingletonT<CConfig>::setInstance(nullptr);
    QString strError;
    ASSERT_TRUE(config.prepareDirectories(strError)) << strError.toStdString();
    EXPECT_TRUE(QFileInfo(config.batchOrderDir()).isDir());
    EXPECT_TRUE(config.prepareDirectories(strError)) << "a second run finds them in place";
    EXPECT_EQ(CConfig(QString(), QString(), QString()).batchOrderDir(), QString()) << "never relative";
}

TEST(ConfigTest, DirectoryThatCannotBeUsedIsNamed)
{
    QTemporaryDir dir;
    const auto path = [&dir](const char* pName) { return dir.filePath(QString::fromUtf8(pName)); };
    ASSERT_TRUE(QDir().mkpath(path("data")) && QDir().mkpath(path("ro")));
    ASSERT_TRUE(QFile(path("file")).open(QIODevice::WriteOnly) &&
                QFile(path("data/batchorder")).open(QIODevice::WriteOnly));
    // Data dir, then how the message starts.
    std::vector<std::pair<QString, QString>> rows = {
        {path("file"),
         QStringLiteral("cannot use directory \"%1\": a file of that name is in the way").arg(path("file"))},
        {path("data"), QStringLiteral("cannot use directory \"%1\": a file").arg(path("data/batchorder"))},
        {path("file/data"), QStringLiteral("cannot create directory \"%1\": ").arg(path("file/data"))},
        {QString(), QStringLiteral("no data directory is configured")},
    };
    // Found at start, not when the first backup fails to be written; root may write anywhere.
    if (geteuid() != 0 && QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::ExeOwner)) {
        rows.emplace_back(path("ro"),
                          QStringLiteral("cannot use directory \"%1\": not writable").arg(path("ro")));
    }
    for (const auto& row : rows) {
        QString strError;
        EXPECT_FALSE(CConfig(row.first, QString(), QString()).prepareDirectories(strError));
        EXPECT_TRUE(strError.startsWith(row.second)) << strError.toStdString();
    }
    QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
