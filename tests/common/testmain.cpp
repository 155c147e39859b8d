#include "base/clogger.h"
#include "base/utils.h"

#include <gtest/gtest.h>
#include <log4cxx/helpers/loglog.h>

#include <QApplication>

#include <cstdlib>
#include <ctime>

#include <sys/stat.h>
#include <unistd.h>

// Leaks inside Qt's platform plug-in and font machinery are the library's, made once per process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt5Gui\nleak:libQt5Core\nleak:libQt5Widgets\nleak:libfontconfig\nleak:libglib\n"
           "leak:qoffscreen\nleak:libQt5XcbQpa\nleak:liblog4cxx\n";
}

// Every test program runs with an application object (settings, text codecs, queued calls) on the
// offscreen platform unless QT_QPA_PLATFORM names another (the X11 tests run on xcb), and with the host
// logger open at DEBUG so that tests can capture log lines. Set BATCHORDER_TEST_LOG=1 to also see the
// log on stderr.
int main(int argc, char** argv)
{
    // With TZ unset, libc re-reads the zone and swaps its saved name on every localtime() or mktime(),
    // under a lock of its own the thread checker cannot see. Naming the system's zone file (what an unset
    // TZ means) lets those calls find it unchanged; the host processes the tests start inherit it.
    if (!std::getenv("TZ"))
        setenv("TZ", ":/etc/localtime", 1);
    tzset();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
    {
        // Qt wants a private runtime directory; CI runs as root without a session.
        const QByteArray runtimeDir = "/tmp/batchorder-test-runtime-" + QByteArray::number(getuid());
        mkdir(runtimeDir.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtimeDir);
    }
    QApplication app(argc, argv);
    // Tests see the same encodings as the host, whatever locale they are started in.
    utils::useUtf8Locale();
    ::testing::InitGoogleTest(&argc, argv);
    if (std::getenv("BATCHORDER_TEST_LOG"))
        utils::initConsoleLogger(log4cxx::Level::getDebug());
    else
        log4cxx::helpers::LogLog::setQuietMode(true);
    g_TTStdLogger->setLevel(log4cxx::Level::getDebug());
    return RUN_ALL_TESTS();
}
