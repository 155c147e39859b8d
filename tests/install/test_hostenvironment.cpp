// The host wherever and however it runs: installed into a prefix of its own and started from elsewhere,
// and started in a locale that is not UTF-8.
#include "common/ctesthost.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QVariant>

#include <signal.h>

namespace {

const QString kPrefix = QStringLiteral(BATCHORDER_TEST_PREFIX);
const QString kInstalledHost = kPrefix + QStringLiteral("/" BATCHORDER_TEST_BINDIR "/batchorder-host");
const QString kInstalledData = kPrefix + QStringLiteral("/" BATCHORDER_TEST_DATADIR);

// One headless host on a data directory and an inbox inside dir, started from dir.
class CHeadlessHost
{
public:
    CHeadlessHost(const QString& strProgram, const QString& strDir, const QStringList& extraArguments,
                  const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
        : m_strData(strDir + QStringLiteral("/数据")),
          m_strInbox(strDir + QStringLiteral("/收件箱/orders.csv"))
    {
        m_process.setProgram(strProgram);
        m_process.setArguments(QStringList{QStringLiteral("--headless"), QStringLiteral("--data-dir"),
                                           m_strData, QStringLiteral("--watch"), m_strInbox,
                                           QStringLiteral("--auto-dispatch")} +
                               extraArguments);
        m_process.setWorkingDirectory(strDir);
        m_process.setProcessEnvironment(environment);
        m_process.start();
    }

    ~CHeadlessHost()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    CHeadlessHost(const CHeadlessHost&) = delete;
    CHeadlessHost& operator=(const CHeadlessHost&) = delete;

    // Keeps the pipes drained (a full pipe would block the host) and answers whether stdout holds text.
    bool waitForOutput(const QString& strText)
    {
        return waitUntil([&] {
            drain();
            return m_strOut.contains(strText);
        });
    }

    // Places an instruction file as a writer must: complete under another name, then renamed.
    bool deliver(const QByteArray& gbkText)
    {
        QFile file(m_strInbox + QStringLiteral(".part"));
        if (!file.open(QIODevice::WriteOnly) || file.write(gbkText) != gbkText.size())
            return false;
        file.close();
        return QFile::rename(file.fileName(), m_strInbox);
    }

    int terminate()
    {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(20000))
            return -1;
        drain();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QStringList journalRows(const QString& strSql) const
    {
        QStringList rows;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("environment"));
            db.setDatabaseName(m_strData + QStringLiteral("/orders.db"));
            if (db.open()) {
                QSqlQuery query(strSql, db);
                while (query.next())
                    rows << query.value(0).toString();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("environment"));
        return rows;
    }

    QString dataFile(const QString& strRelative) const
    {
        QFile file(m_strData + QLatin1Char('/') + strRelative);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    const QString& out() const { return m_strOut; }
    const QString& err() const { return m_strErr; }

private:
    void drain()
    {
        m_process.waitForReadyRead(10);
        m_strOut += QString::fromUtf8(m_process.readAllStandardOutput());
        m_strErr += QString::fromUtf8(m_process.readAllStandardError());
    }

    QString m_strData;
    QString m_strInbox;
    QProcess m_process;
    QString m_strOut;
    QString m_strErr;
};

QByteArray gbk(const QString& strText)
{
    return QTextCodec::codecForName("GBK")->fromUnicode(strText);
}

} // namespace

TEST(HostEnvironment, ChineseTextsStayWholeInTheCLocale)
{
    // As started by cron, a service manager or `env -i`: no UTF-8 anywhere in the environment.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& strName : environment.keys()) {
        if (strName == QLatin1String("LANG") || strName == QLatin1String("LANGUAGE") ||
            strName.startsWith(QLatin1String("LC_")))
            environment.remove(strName);
    }
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    QTemporaryDir dir;
    CHeadlessHost host(QStringLiteral(BATCHORDER_HOST_EXE), dir.path(),
                       {QStringLiteral("--profile"), CTestHost::sampleProfilePath()}, environment);
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.err().toStdString();

    // Non-ASCII data, directory and file names.
    ASSERT_TRUE(host.deliver(gbk(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,策略甲,买入测试\n"))));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("用户下出 1 条指令!"))) << host.out().toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return !host.journalRows(QStringLiteral("SELECT note FROM orders")).isEmpty(); }));
    EXPECT_EQ(host.terminate(), 0);

    EXPECT_EQ(host.journalRows(QStringLiteral("SELECT strategy_name || '|' || note FROM orders")),
              QStringList{QStringLiteral("策略甲|买入测试")});
    EXPECT_TRUE(host.err().contains(QStringLiteral("用户下出 1 条指令!")))
        << "log on stderr: " << host.err().toStdString();
    const QString strDay = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    EXPECT_TRUE(
        host.dataFile(
                QStringLiteral("logs/batchorder-host.%1.log").arg(QDate::currentDate().toString(Qt::ISODate)))
            .contains(QStringLiteral("用户下出 1 条指令!")));
    EXPECT_TRUE(host.dataFile(QStringLiteral("batchorder/batchOrder_back_%1.csv").arg(strDay))
                    .contains(QStringLiteral("策略甲,买入测试")));
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

    QTemporaryDir dir;
    CHeadlessHost host(kInstalledHost, dir.path(), {});
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.err().toStdString();
    QFile sample(kInstalledData + QStringLiteral("/instructions/one-order.csv"));
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    ASSERT_TRUE(host.deliver(sample.readAll()));
    const QString strRow = QStringLiteral("600000|100|10.5|999");
    const QString strSql =
        QStringLiteral("SELECT stock_code || '|' || volume || '|' || price || '|' || strategy_no "
                       "FROM orders");
    ASSERT_TRUE(waitUntil([&] { return host.journalRows(strSql) == QStringList{strRow}; }))
        << host.out().toStdString() << host.err().toStdString();
    EXPECT_EQ(host.terminate(), 0);
}
