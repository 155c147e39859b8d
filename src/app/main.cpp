#include "chostapplication.h"
#include "chostoptions.h"

#include "base/utils.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/stat.h>

namespace {

bool hasDisplay()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    // Orders, settings, logs and backups are the user's business alone, whatever umask the host was
    // started with.
    ::umask(077);
    utils::useUtf8Locale();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    TC::CHostOptions options;
    switch (options.parse(arguments))
    {
    case TC::CHostOptions::HELP:
        std::fputs(options.m_strMessage.toLocal8Bit().constData(), stdout);
        return 0;
    case TC::CHostOptions::ERROR:
        std::fprintf(stderr, "batchorder-host: %s\n", options.m_strMessage.toLocal8Bit().constData());
        return 2;
    case TC::CHostOptions::RUN:
        break;
    }

    // Without a display the host runs headless; a window needs the GUI application object.
    const bool bHeadless = options.m_bHeadless || !hasDisplay();
    std::unique_ptr<QCoreApplication> pApp;
    if (bHeadless)
        pApp = std::make_unique<QCoreApplication>(argc, argv);
    else
        pApp = std::make_unique<QApplication>(argc, argv);
    utils::useUtf8Locale();

    QString strError;
    if (!TC::CHostApplication::installSignalHandlers(strError))
    {
        std::fprintf(stderr, "batchorder-host: %s\n", strError.toLocal8Bit().constData());
        return 1;
    }
    TC::CHostApplication host(options, bHeadless);
    if (!host.start(strError))
    {
        std::fprintf(stderr, "batchorder-host: %s\n", strError.toLocal8Bit().constData());
        host.shutdown();
        return 1;
    }
    const int nResult = pApp->exec();
    host.shutdown();
    return nResult;
}
