// The real batchorder-host with its window under an X server of the test's own: --watch starts
// monitoring as the settings dialog's start button does, so the order key kept in user.ini places the
// pending orders at once, pressed in whatever application has the keyboard.
#include "common/ctesthost.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextCodec>

// X headers last: they define macros that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <signal.h>

namespace {

int journalOrders(const QString& strDbPath)
{
    int nCount = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("hostkey"));
        db.setDatabaseName(strDbPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(QStringLiteral("SELECT count(*) FROM orders"), db);
            nCount = query.next() ? query.value(0).toInt() : -1;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("hostkey"));
    return nCount;
}

// A key press and release through XTest, as the user's keyboard.
bool pressKey(KeySym keySym)
{
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        return false;
    }
    const KeyCode code = XKeysymToKeycode(pDisplay, keySym);
    const bool bSent =
        XTestFakeKeyEvent(pDisplay, code, True, 0) && XTestFakeKeyEvent(pDisplay, code, False, 0);
    XSync(pDisplay, False);
    XCloseDisplay(pDisplay);
    return bSent;
}

} // namespace

TEST(HostWindowKey, WatchArmsTheOrderKeyKeptInTheUserSettings)
{
    QTemporaryDir dir;
    const QString strData = dir.filePath(QStringLiteral("data"));
    const QString strInbox = dir.filePath(QStringLiteral("inbox/orders.csv"));
    ASSERT_TRUE(QDir().mkpath(strData));
    {
        QSettings ini(strData + QStringLiteral("/user.ini"), QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        ini.setValue(QStringLiteral("batchorder/shortcutEnabled"), true);
        ini.setValue(QStringLiteral("batchorder/shortcutKey"), QStringLiteral("F9"));
    }
    QProcess host;
    host.setProcessChannelMode(QProcess::MergedChannels);
    // On a real display Qt's xcb plugin and the D-Bus library keep a few allocations to the end of the
    // process; the headless host tests look for leaks of our own.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(BATCHORDER_HOST_EXE),
               {QStringLiteral("--profile"), CTestHost::sampleProfilePath(), QStringLiteral("--data-dir"),
                strData, QStringLiteral("--watch"), strInbox});
    QString strOutput;
    auto outputHas = [&](const char* szFragment) {
        return waitUntil([&] {
            host.waitForReadyRead(5);
            strOutput += QString::fromUtf8(host.readAll());
            return strOutput.contains(QLatin1String(szFragment));
        });
    };
    ASSERT_TRUE(outputHas("global key hook: watching")) << strOutput.toStdString();
    ASSERT_TRUE(outputHas("watching instruction file")) << strOutput.toStdString();

    QFile file(strInbox + QStringLiteral(".part"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QTextCodec::codecForName("GBK")->fromUnicode(
        QStringLiteral("23,0,10.50,600000,100,8880000001,2,2,,按键下单\n")));
    file.close();
    ASSERT_TRUE(QFile::rename(file.fileName(), strInbox));
    QFile backup(strData + QStringLiteral("/batchorder/batchOrder_back_") +
                 QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv"));
    ASSERT_TRUE(waitUntil([&] {
        host.waitForReadyRead(5);
        strOutput += QString::fromUtf8(host.readAll());
        return backup.exists() && backup.size() > 0;
    })) << "the order is pending";
    EXPECT_EQ(journalOrders(strData + QStringLiteral("/orders.db")), 0) << "nothing places it but the key";

    ASSERT_TRUE(pressKey(XK_F9));
    EXPECT_TRUE(waitUntil([&] {
        host.waitForReadyRead(5);
        strOutput += QString::fromUtf8(host.readAll());
        return journalOrders(strData + QStringLiteral("/orders.db")) == 1;
    })) << strOutput.toStdString();

    ::kill(static_cast<pid_t>(host.processId()), SIGTERM);
    ASSERT_TRUE(host.waitForFinished(20000));
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    strOutput += QString::fromUtf8(host.readAll());
    EXPECT_EQ(host.exitCode(), 0) << strOutput.right(6000).toStdString();
}
