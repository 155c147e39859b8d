#include "common/clogcapture.h"
#include "config/cconfig.h"
#include "config/cuserconfig.h"

#include <boost/signals2/connection.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
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

TC::CHostProfile accountsProfile()
{
    TC::CHostProfile profile;
    TC::CAccountData plain;
    plain.m_strId = QStringLiteral("100");
    plain.m_nType = 2;
    plain.m_nBroker = 2;
    plain.m_strKey = QStringLiteral("2____1____B____2____100");
    plain.m_strName = QStringLiteral("普通");
    TC::CAccountData dual;
    dual.m_strId = QStringLiteral("200");
    dual.m_nType = 2;
    dual.m_nBroker = 7;
    dual.m_strKey = QStringLiteral("7____1____B____2____200");
    dual.m_bDualCenter = true;
    dual.m_centerKeys.insert(QStringLiteral("SH"), QStringLiteral("7____1____B-SH____2____200"));
    profile.m_accounts = {plain, dual};
    profile.m_dbfPriceTypes = {{QStringLiteral("0"), 11}, {QStringLiteral("2004"), 5}};
    TC::CDbfAlgoParam follow;
    follow.m_strPriceTypeCode = QStringLiteral("2004");
    follow.m_strName = QStringLiteral("跟量");
    follow.m_nOrderType = 108;
    follow.m_nPriceType = 5;
    profile.m_algoSettings = {follow};
    return profile;
}

QString readFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Settings objects of one process share a cache per file, so a second one on the same path would not read
// the file again. A restart is played by opening a fresh copy of the file, which only the disk can fill.
std::unique_ptr<CUserConfig> reopenFromDisk(const QTemporaryDir& dir, const QString& strIni,
                                            const TC::CHostProfile& profile)
{
    static int s_nCopy = 0;
    const QString strCopy = dir.filePath(QStringLiteral("restart%1.ini").arg(++s_nCopy));
    EXPECT_TRUE(QFile::copy(strIni, strCopy));
    return std::make_unique<CUserConfig>(strCopy, profile);
}

class UserConfigTest : public ::testing::Test
{
protected:
    QString iniPath() const { return m_dir.filePath(QStringLiteral("user.ini")); }
    std::unique_ptr<CUserConfig> open() { return std::make_unique<CUserConfig>(iniPath(), m_profile); }
    std::unique_ptr<CUserConfig> restart() { return reopenFromDisk(m_dir, iniPath(), m_profile); }

    QTemporaryDir m_dir;
    TC::CHostProfile m_profile = accountsProfile();
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Settings

TEST_F(UserConfigTest, DefaultsWithoutAnIniFile)
{
    auto pConfig = open();
    EXPECT_FALSE(pConfig->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED));
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY), QString());
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QString());
    EXPECT_FALSE(QFile::exists(iniPath())) << "reading alone must not create the file";
}

TEST_F(UserConfigTest, SettingsSurviveARestart)
{
    {
        auto pConfig = open();
        pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, false);
        pConfig->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("Ctrl+Shift+F9"), false);
        pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/数据/批量下单/order.csv"),
                                   false);
    }
    auto pRestarted = restart();
    EXPECT_TRUE(pRestarted->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY),
              QStringLiteral("Ctrl+Shift+F9"));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH),
              QStringLiteral("/数据/批量下单/order.csv"));

    open()->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, false, false);
    EXPECT_FALSE(restart()->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED))
        << "switching off is kept too";
}

TEST_F(UserConfigTest, EachSetReachesTheDiskAtOnce)
{
    // The file itself is read, not another settings object: those share an in-process cache and would
    // see the value before it was written. Nothing may wait for a clean shutdown.
    auto pWriter = open();
    pWriter->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/tmp/a.csv"), false);
    EXPECT_TRUE(readFile(iniPath()).contains(QStringLiteral("instructionFile=/tmp/a.csv")));
    pWriter->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, false);
    EXPECT_TRUE(readFile(iniPath()).contains(QStringLiteral("shortcutEnabled=true")));
}

TEST_F(UserConfigTest, IniUsesTheDocumentedReadableKeys)
{
    open()->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, false);
    open()->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F12"), false);
    open()->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/订单/in.csv"), false);

    const QString strText = readFile(iniPath());
    EXPECT_TRUE(strText.contains(QStringLiteral("[batchorder]"))) << strText.toStdString();
    EXPECT_TRUE(strText.contains(QStringLiteral("shortcutEnabled=true"))) << strText.toStdString();
    EXPECT_TRUE(strText.contains(QStringLiteral("shortcutKey=F12"))) << strText.toStdString();
    // Chinese stays readable in the file rather than escaped.
    EXPECT_TRUE(strText.contains(QStringLiteral("instructionFile=/订单/in.csv"))) << strText.toStdString();
}

TEST_F(UserConfigTest, HandWrittenIniIsRead)
{
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[batchorder]\nshortcutEnabled=true\nshortcutKey=Ctrl+B\n"
                              "instructionFile=/home/交易员/指令.csv\n")
                   .toUtf8());
    file.close();

    auto pConfig = open();
    EXPECT_TRUE(pConfig->getUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED));
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY), QStringLiteral("Ctrl+B"));
    EXPECT_EQ(pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH),
              QStringLiteral("/home/交易员/指令.csv"));
}

TEST_F(UserConfigTest, MembersWithoutANameAreStoredToo)
{
    const auto eUnnamed = static_cast<EUserMember>(500);
    open()->setUserDataString(eUnnamed, QStringLiteral("kept"), false);
    auto pRestarted = restart();
    EXPECT_EQ(pRestarted->getUserDataString(eUnnamed), QStringLiteral("kept"));
    EXPECT_EQ(pRestarted->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QString()) << "no clash with 84";
}

// Texts that ini files treat specially must come back unchanged after a restart.
namespace {

struct CTextCase
{
    const char* m_pName;
    const char* m_pText;
};

const CTextCase kTexts[] = {
    {"ChinesePath", "/数据/批量 下单/指令.csv"},
    {"Comma", "/data/a,b.csv"},
    {"CommaKey", "Ctrl+,"},
    {"Semicolon", "Ctrl+;"},
    {"Equals", "/data/a=b.csv"},
    {"Hash", "/data/#1.csv"},
    {"Quotes", "/data/\"q\".csv"},
    {"WindowsPath", "C:\\交易\\batch order\\order.csv"},
    {"LeadingAndTrailingBlanks", "  /data/x.csv  "},
    {"LooksLikeBool", "true"},
};

class UserConfigTextTest : public ::testing::TestWithParam<CTextCase>
{
protected:
    QTemporaryDir m_dir;
};

} // namespace

TEST_P(UserConfigTextTest, SurvivesARestartUnchanged)
{
    const QString strIni = m_dir.filePath(QStringLiteral("user.ini"));
    const QString strText = QString::fromUtf8(GetParam().m_pText);
    const TC::CHostProfile profile;
    CUserConfig(strIni, profile).setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, strText, false);
    EXPECT_EQ(reopenFromDisk(m_dir, strIni, profile)->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH),
              strText);
}

INSTANTIATE_TEST_SUITE_P(Ini, UserConfigTextTest, ::testing::ValuesIn(kTexts),
                         [](const ::testing::TestParamInfo<CTextCase>& info) {
                             return std::string(info.param.m_pName);
                         });

TEST_F(UserConfigTest, SetAnnouncesTheChangeOnlyWhenAsked)
{
    auto pConfig = open();
    std::vector<EUserMember> changes;
    boost::signals2::scoped_connection connection =
        pConfig->m_sigChanged.connect([&changes](EUserMember eMember) { changes.push_back(eMember); });

    pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/a"), true);
    pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, true, true);
    pConfig->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F1"), false);
    pConfig->setUserDataBool(TC::USER_BATCH_ORDER_SHORTCUT_ENABLED, false, false);

    EXPECT_EQ(changes, (std::vector<EUserMember>{TC::USER_BATCH_ORDER_FILE_PATH,
                                                 TC::USER_BATCH_ORDER_SHORTCUT_ENABLED}));
}

TEST_F(UserConfigTest, ListenerMayReadTheNewValueFromItsSlot)
{
    auto pConfig = open();
    QString strSeen;
    CUserConfig* pRaw = pConfig.get();
    boost::signals2::scoped_connection connection = pConfig->m_sigChanged.connect(
        [&strSeen, pRaw](EUserMember) { strSeen = pRaw->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH); });

    // Announcing under the settings lock would deadlock here; run it where a hang shows up as a failure.
    auto pDone = std::make_shared<std::promise<void>>();
    std::thread setter([pRaw, pDone] {
        pRaw->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/新/路径.csv"), true);
        pDone->set_value();
    });
    if (pDone->get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        setter.detach();
        FAIL() << "set did not return: the change is announced while the settings are locked";
    }
    setter.join();
    EXPECT_EQ(strSeen, QStringLiteral("/新/路径.csv"));
}

TEST_F(UserConfigTest, ConcurrentSetsAndGetsLoseNothing)
{
    auto pConfig = open();
    const int nRounds = 50;
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < nRounds; ++i)
            pConfig->setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/p/%1").arg(i), true);
    });
    threads.emplace_back([&] {
        for (int i = 0; i < nRounds; ++i)
            pConfig->setUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F%1").arg(i), true);
    });
    threads.emplace_back([&] {
        for (int i = 0; i < nRounds; ++i) {
            const QString strPath = pConfig->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH);
            EXPECT_TRUE(strPath.isEmpty() || strPath.startsWith(QStringLiteral("/p/")))
                << strPath.toStdString();
        }
    });
    for (std::thread& thread : threads)
        thread.join();

    auto pReopened = restart();
    EXPECT_EQ(pReopened->getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH),
              QStringLiteral("/p/%1").arg(nRounds - 1));
    EXPECT_EQ(pReopened->getUserDataString(TC::USER_BATCH_ORDER_SHORTCUT_KEY),
              QStringLiteral("F%1").arg(nRounds - 1));
}

TEST_F(UserConfigTest, UnwritableIniKeepsTheValueAndSaysSo)
{
    // A directory where the ini should be: even root cannot write it.
    const QString strIni = m_dir.filePath(QStringLiteral("blocked.ini"));
    ASSERT_TRUE(QDir().mkpath(strIni));
    CLogCapture capture;
    CUserConfig config(strIni, m_profile);
    config.setUserDataString(TC::USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/x.csv"), false);

    EXPECT_EQ(config.getUserDataString(TC::USER_BATCH_ORDER_FILE_PATH), QStringLiteral("/x.csv"));
    EXPECT_TRUE(capture.contains("batchorder/instructionFile kept in memory only"));
    EXPECT_TRUE(capture.contains(strIni.toStdString()));
}

// ---------------------------------------------------------------------------------------------------------
// Accounts and algorithm settings of the profile

TEST_F(UserConfigTest, AccountsAreFoundByFullKeyOnly)
{
    auto pConfig = open();
    const auto pDual = pConfig->getAccountData(QStringLiteral("7____1____B____2____200"));
    ASSERT_TRUE(pDual);
    EXPECT_EQ(pDual->m_strId, QStringLiteral("200"));
    EXPECT_EQ(pDual->m_nBroker, 7);
    EXPECT_FALSE(pConfig->getAccountData(QStringLiteral("200"))) << "an id is not a key";
    EXPECT_FALSE(pConfig->getAccountData(QString()));
    EXPECT_FALSE(pConfig->getAccountData(QStringLiteral("7____1____B____2____201")));
}

TEST_F(UserConfigTest, DualCentreAccountsAreTold)
{
    auto pConfig = open();
    EXPECT_TRUE(
        pConfig->isDualCenterAccount(pConfig->getAccountData(QStringLiteral("7____1____B____2____200"))));
    EXPECT_FALSE(
        pConfig->isDualCenterAccount(pConfig->getAccountData(QStringLiteral("2____1____B____2____100"))));
    EXPECT_FALSE(pConfig->isDualCenterAccount(boost::shared_ptr<TC::CAccountData>()));
}

TEST_F(UserConfigTest, AlgorithmSettingByPriceTypeCode)
{
    auto pConfig = open();
    const auto pFollow = pConfig->getDbfAlgoParam(QStringLiteral("2004"));
    ASSERT_TRUE(pFollow);
    EXPECT_EQ(pFollow->m_strName, QStringLiteral("跟量"));
    EXPECT_EQ(pFollow->m_nOrderType, 108);
    EXPECT_EQ(pFollow->m_nPriceType, 5);
    EXPECT_FALSE(pConfig->getDbfAlgoParam(QStringLiteral("0"))) << "a plain price type has no algorithm";
    EXPECT_FALSE(pConfig->getDbfAlgoParam(QStringLiteral("9999")));
}

TEST_F(UserConfigTest, InstalledConfigIsTheOneGetUserConfigAnswers)
{
    EXPECT_EQ(TC::getUserConfig(), nullptr);
    auto pConfig = open();
    utils::CManualSingletonT<CUserConfig>::setInstance(pConfig.get());
    EXPECT_EQ(TC::getUserConfig(), pConfig.get());
    utils::CManualSingletonT<CUserConfig>::setInstance(nullptr);
    EXPECT_EQ(TC::getUserConfig(), nullptr);
}

// ---------------------------------------------------------------------------------------------------------
// Host environment

class ConfigTest : public ::testing::Test
{
protected:
    QString path(const QString& strName) const { return m_dir.filePath(strName); }

    QTemporaryDir m_dir;
};

TEST_F(ConfigTest, BatchOrderDirLivesInTheDataDir)
{
    const CConfig config(path(QStringLiteral("data")), QString(), QString());
    EXPECT_EQ(config.batchOrderDir(), path(QStringLiteral("data/batchorder")));
}

TEST_F(ConfigTest, DefaultBatchOrderDirIsEmptyUntilInstalled)
{
    EXPECT_EQ(TC::getConfig(), nullptr);
    EXPECT_EQ(TC::getDefaultBatchOrderDir(), QString());
    CConfig config(path(QStringLiteral("data")), QStringLiteral("A"), QStringLiteral("B"));
    utils::CManualSingletonT<CConfig>::setInstance(&config);
    EXPECT_EQ(TC::getDefaultBatchOrderDir(), path(QStringLiteral("data/batchorder")));
    EXPECT_EQ(TC::getConfig()->strategyReplaceFrom(), QStringLiteral("A"));
    EXPECT_EQ(TC::getConfig()->strategyReplaceTo(), QStringLiteral("B"));
    utils::CManualSingletonT<CConfig>::setInstance(nullptr);
    EXPECT_EQ(TC::getDefaultBatchOrderDir(), QString());
}

TEST_F(ConfigTest, PrepareCreatesBothDirectories)
{
    const CConfig config(path(QStringLiteral("deep/数据")), QString(), QString());
    QString strError;
    ASSERT_TRUE(config.prepareDirectories(strError)) << strError.toStdString();
    EXPECT_TRUE(strError.isEmpty());
    EXPECT_TRUE(QFileInfo(config.batchOrderDir()).isDir());
    // A second run finds them in place.
    EXPECT_TRUE(config.prepareDirectories(strError)) << strError.toStdString();
}

TEST_F(ConfigTest, FileInTheWayOfTheDataDirIsNamed)
{
    QFile blocker(path(QStringLiteral("data")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const CConfig config(path(QStringLiteral("data")), QString(), QString());
    QString strError;
    EXPECT_FALSE(config.prepareDirectories(strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("\"%1\"").arg(path(QStringLiteral("data")))))
        << strError.toStdString();
    EXPECT_TRUE(strError.contains(QStringLiteral("in the way"))) << strError.toStdString();
}

TEST_F(ConfigTest, FileInTheWayOfTheBatchOrderDirIsNamed)
{
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("data"))));
    QFile blocker(path(QStringLiteral("data/batchorder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const CConfig config(path(QStringLiteral("data")), QString(), QString());
    QString strError;
    EXPECT_FALSE(config.prepareDirectories(strError));
    EXPECT_TRUE(strError.contains(QStringLiteral("\"%1\"").arg(path(QStringLiteral("data/batchorder")))))
        << strError.toStdString();
}

TEST_F(ConfigTest, DirectoryUnderAFileCannotBeCreated)
{
    QFile blocker(path(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const CConfig config(path(QStringLiteral("file/data")), QString(), QString());
    QString strError;
    EXPECT_FALSE(config.prepareDirectories(strError));
    EXPECT_TRUE(strError.startsWith(
        QStringLiteral("cannot create directory \"%1\": ").arg(path(QStringLiteral("file/data")))))
        << strError.toStdString();
}

TEST_F(ConfigTest, ReadOnlyDirectoryIsRefused)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write anywhere";
    }
    const QString strData = path(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(strData));
    ASSERT_TRUE(QFile::setPermissions(strData, QFile::ReadOwner | QFile::ExeOwner));
    const CConfig config(strData, QString(), QString());
    QString strError;
    EXPECT_FALSE(config.prepareDirectories(strError));
    EXPECT_TRUE(strError.contains(strData)) << strError.toStdString();
    QFile::setPermissions(strData, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(ConfigTest, NoDataDirMeansNoBatchOrderDir)
{
    const CConfig config{QString(), QString(), QString()};
    EXPECT_EQ(config.batchOrderDir(), QString());
    QString strError;
    EXPECT_FALSE(config.prepareDirectories(strError));
    EXPECT_FALSE(strError.isEmpty());
}
