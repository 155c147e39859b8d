// The host wherever and however it runs: installed into a prefix of its own and started from elsewhere,
// and started in a locale that is not UTF-8.
#include "common/chostprocess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

const QString kPrefix = QStringLiteral(BATCHORDER_TEST_PREFIX);
const QString kInstalledHost = kPrefix + QStringLiteral("/" BATCHORDER_TEST_BINDIR "/batchorder-host");
const QString kInstalledData = kPrefix + QStringLiteral("/" BATCHORDER_TEST_DATADIR);

} // namespace

// The installed host names its installed defaults (they exist: otherwise it would name the source tree's),
// and runs on them from another directory. Started as cron, a service manager or `env -i` start it, with no
// UTF-8 anywhere in the environment, on non-ASCII directory and file names, Chinese texts stay whole in the
// journal, the console, the log and the backup.
TEST(HostEnvironment, InstalledHostRunsOnItsInstalledFilesInTheCLocale)
{
    QProcess help;
    help.start(kInstalledHost, {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(20000));
    const QString strHelp = QString::fromUtf8(help.readAllStandardOutput());
    for (const char* szName : {"/profile.json", "/log4cxx.properties"})
        EXPECT_TRUE(strHelp.contains(QDir::cleanPath(kInstalledData + QLatin1String(szName))))
            << strHelp.toStdString();

    CHostProcess::CStart start;
    start.m_strProgram = kInstalledHost;
    start.m_bSampleProfile = false;
    for (const QString& strName : start.m_environment.keys()) {
        if (strName == QLatin1String("LANG") || strName == QLatin1String("LANGUAGE") ||
            strName.startsWith(QLatin1String("LC_")))
            start.m_environment.remove(strName);
    }
    start.m_environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    start.m_strDataDir = QStringLiteral("数据");
    start.m_strInbox = QStringLiteral("收件箱/orders.csv");
    start.m_arguments << QStringLiteral("--watch") << start.m_strInbox << QStringLiteral("--auto-dispatch");
    CHostProcess host(start);
    ASSERT_TRUE(host.waitForStart());
    QFile sample(kInstalledData + QStringLiteral("/instructions/one-order.csv"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    ASSERT_TRUE(
        host.writeInstructions(QString::fromLatin1(sample.readAll()) +
                               QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,策略甲,买入测试\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("用户下出 2 条指令!")));
    ASSERT_TRUE(host.waitUntil([&] { return host.journalOrders().size() == 2; }));
    EXPECT_EQ(host.terminate(), 0);

    EXPECT_EQ(
        host
            .journalRows(QStringLiteral(
                "SELECT stock_code, volume, price, strategy_no, strategy_name, note FROM orders ORDER BY id"))
            .value(1),
        QStringLiteral("600000|100|10.5|999|策略甲|买入测试"));
    EXPECT_EQ(host.journalOrders().value(0), QStringLiteral("600000|100|10.5|999")) << "the installed sample";
    EXPECT_TRUE(host.stderrText().contains(QStringLiteral("用户下出 2 条指令!")))
        << "log on stderr: " << host.stderrText().toStdString();
    EXPECT_TRUE(host.logFileText().contains(QStringLiteral("用户下出 2 条指令!")));
    EXPECT_TRUE(host.backupText().contains(QStringLiteral("策略甲,买入测试")));
}

// What no run or build of the installed tree reads (the embedding program's build checks the package,
// headers and libraries; the run above the host, its defaults and its sample instructions).
TEST(HostEnvironment, InstalledTreeHoldsWhatUsersNeed)
{
    for (const char* szFile :
         {BATCHORDER_TEST_DATADIR "/instructions/orders.csv", "share/applications/batchorder-host.desktop",
          "share/icons/hicolor/scalable/apps/batchorder-host.svg", "share/man/man1/batchorder-host.1",
          "lib/systemd/user/batchorder-host.service"})
        EXPECT_TRUE(QFileInfo(kPrefix + QLatin1Char('/') + QLatin1String(szFile)).isFile()) << szFile;
}
