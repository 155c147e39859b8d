// The host wherever and however it runs: installed into a prefix of its own and started from elsewhere,
// and started in a locale that is not UTF-8.
#include "common/chostprocess.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString kPrefix = QStringLiteral(BATCHORDER_TEST_PREFIX);
const QString kInstalledHost = kPrefix + QStringLiteral("/" BATCHORDER_TEST_BINDIR "/batchorder-host");
const QString kInstalledData = kPrefix + QStringLiteral("/" BATCHORDER_TEST_DATADIR);

// A headless host watching its inbox and placing what arrives.
CHostProcess::CStart watching(CHostProcess::CStart start = {})
{
    start.m_arguments << QStringLiteral("--watch") << start.m_strInbox << QStringLiteral("--auto-dispatch");
    return start;
}

} // namespace

TEST(HostEnvironment, ChineseTextsStayWholeInTheCLocale)
{
    // As started by cron, a service manager or `env -i`: no UTF-8 anywhere in the environment; and
    // non-ASCII data, directory and file names.
    CHostProcess::CStart start;
    for (const QString& strName : start.m_environment.keys()) {
        if (strName == QLatin1String("LANG") || strName == QLatin1String("LANGUAGE") ||
            strName.startsWith(QLatin1String("LC_")))
            start.m_environment.remove(strName);
    }
    start.m_environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    start.m_strDataDir = QStringLiteral("数据");
    start.m_strInbox = QStringLiteral("收件箱/orders.csv");
    CHostProcess host(watching(start));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.stderrText().toStdString();

    ASSERT_TRUE(
        host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,策略甲,买入测试\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("用户下出 1 条指令!"))) << host.stdoutText().toStdString();
    ASSERT_TRUE(waitUntil([&] { return !host.journalNotes().isEmpty(); }));
    EXPECT_EQ(host.terminate(), 0);

    EXPECT_EQ(host.journalRows(QStringLiteral("SELECT strategy_name, note FROM orders")),
              QStringList{QStringLiteral("策略甲|买入测试")});
    EXPECT_TRUE(host.stderrText().contains(QStringLiteral("用户下出 1 条指令!")))
        << "log on stderr: " << host.stderrText().toStdString();
    EXPECT_TRUE(host.logFileText().contains(QStringLiteral("用户下出 1 条指令!")));
    EXPECT_TRUE(host.backupText().contains(QStringLiteral("策略甲,买入测试")));
}

TEST(HostEnvironment, InstalledTreeHoldsWhatUsersAndEmbeddingProgramsNeed)
{
    const char* const files[] = {
        BATCHORDER_TEST_BINDIR "/batchorder-host",
        BATCHORDER_TEST_LIBDIR "/libbatchorder.so.0",
        BATCHORDER_TEST_LIBDIR "/libbatchorderhost.so.0",
        BATCHORDER_TEST_LIBDIR "/libbatchorder.so",
        BATCHORDER_TEST_LIBDIR "/cmake/batchorder/batchorderConfig.cmake",
        BATCHORDER_TEST_LIBDIR "/cmake/batchorder/batchorderConfigVersion.cmake",
        BATCHORDER_TEST_LIBDIR "/cmake/batchorder/batchorderTargets.cmake",
        "include/batchorder/cbatchordermanager.h",
        "include/batchorder/batchorder_export.h",
        "include/batchorder/trading/corderservice.h",
        "include/batchorder/base/cmanualsingletont.h",
        BATCHORDER_TEST_DATADIR "/profile.json",
        BATCHORDER_TEST_DATADIR "/log4cxx.properties",
        BATCHORDER_TEST_DATADIR "/instructions/orders.csv",
        "share/applications/batchorder-host.desktop",
        "share/icons/hicolor/scalable/apps/batchorder-host.svg",
        "share/man/man1/batchorder-host.1",
        "lib/systemd/user/batchorder-host.service",
    };
    for (const char* pFile : files)
        EXPECT_TRUE(QFileInfo(kPrefix + QLatin1Char('/') + QLatin1String(pFile)).isFile()) << pFile;
}

TEST(HostEnvironment, InstalledHostRunsOnItsInstalledFilesFromAnyDirectory)
{
    // The defaults it names are the installed ones, not the source tree's.
    QProcess help;
    help.start(kInstalledHost, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(20000));
    const QString strHelp = QString::fromUtf8(help.readAllStandardOutput());
    EXPECT_TRUE(strHelp.contains(QDir::cleanPath(kInstalledData + QStringLiteral("/profile.json"))))
        << strHelp.toStdString();
    EXPECT_TRUE(strHelp.contains(QDir::cleanPath(kInstalledData + QStringLiteral("/log4cxx.properties"))));

    CHostProcess::CStart start = watching();
    start.m_strProgram = kInstalledHost;
    start.m_bSampleProfile = false;
    CHostProcess host(start);
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.stderrText().toStdString();
    QFile sample(kInstalledData + QStringLiteral("/instructions/one-order.csv"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    ASSERT_TRUE(host.writeInstructions(QString::fromLatin1(sample.readAll())));
    ASSERT_TRUE(waitUntil([&] {
        return host.journalOrders() == QStringList{QStringLiteral("600000|100|10.5|999")};
    })) << host.stdoutText().toStdString()
        << host.stderrText().toStdString();
    EXPECT_EQ(host.terminate(), 0);
}
