#include "chostoptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace TC {

namespace {

// A default file shipped in examples/: found from the current directory (the README runs the host
// from the repository root) or from the build tree's location (build/bin/../../examples).
QString findShippedFile(const QString& strName, const QString& strExecutable)
{
    const QString strLocal = QStringLiteral("examples/") + strName;
    if (QFileInfo::exists(strLocal))
        return strLocal;
    const QString strBeside =
        QFileInfo(strExecutable).absoluteDir().absoluteFilePath(QStringLiteral("../../examples/") + strName);
    if (QFileInfo::exists(strBeside))
        return QDir::cleanPath(strBeside);
    return strLocal;
}

} // namespace

CHostOptions::EResult CHostOptions::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Reference host of the batch order panel module: loads a profile (accounts, instruments, price "
        "types, algorithm settings), keeps user settings and a journal of every order, cancel and task in "
        "the data directory, and runs the module with a window or headless."));
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help and exit."));
    const QCommandLineOption profileOption(
        QStringLiteral("profile"), QStringLiteral("Host profile (JSON). Default: examples/profile.json."),
        QStringLiteral("FILE"));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("Data directory: user.ini, orders.db (the journal), logs/, batchorder/ (daily backup "
                       "files). Created if missing. Default: ./var."),
        QStringLiteral("DIR"));
    const QCommandLineOption logConfigOption(
        QStringLiteral("log-config"),
        QStringLiteral("log4cxx properties file. Default: examples/log4cxx.properties."), QStringLiteral("FILE"));
    const QCommandLineOption headlessOption(
        QStringLiteral("headless"),
        QStringLiteral("Run without a window even where a display exists; console lines go to stdout."));
    const QCommandLineOption watchOption(
        QStringLiteral("watch"),
        QStringLiteral("Set the instruction file path (user setting 84) and start monitoring it at launch. "
                       "Its directory is created if missing."),
        QStringLiteral("PATH"));
    const QCommandLineOption autoOption(
        QStringLiteral("auto-dispatch"),
        QStringLiteral("The smart key checker's condition always holds: pending orders (from files or the "
                       "socket) are placed once the oldest has waited a second, and later batches at once. "
                       "Starts monitoring: without --watch, on the instruction file path of user.ini, or on "
                       "DIR/inbox/orders.csv. Without it the condition holds while a process named in the "
                       "profile's monitorProcesses runs."));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral(
            "Open a local socket (owner-only) on which a program sends one \"BatchOrder:\" text "
            "per connection, UTF-8, ended by a NUL byte; the host answers one line, \"OK taken\" "
            "or \"ERROR ...\"; a connection idle for 10 s is closed. A NAME without a slash is placed in "
            "the data directory. Refused when NAME exists and is not a socket, or when another "
            "program listens on it."),
        QStringLiteral("NAME"));
    parser.addOptions({helpOption, profileOption, dataDirOption, logConfigOption, headlessOption, watchOption,
                       autoOption, listenOption});

    if (!parser.parse(arguments))
    {
        m_strMessage = parser.errorText() + QStringLiteral("\nTry --help.");
        return ERROR;
    }
    if (parser.isSet(helpOption))
    {
        // Written here rather than by QCommandLineParser::helpText, which needs the application object
        // that is only created once the options have chosen between a window and headless.
        m_strMessage = QStringLiteral("Usage: batchorder-host [options]\n\n%1\n\nOptions:\n")
                           .arg(parser.applicationDescription());
        for (const QCommandLineOption& option : {helpOption, profileOption, dataDirOption, logConfigOption,
                                                 headlessOption, watchOption, autoOption, listenOption})
        {
            QStringList names;
            for (const QString& strName : option.names())
                names << (strName.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + strName;
            QString strNames = names.join(QStringLiteral(", "));
            if (!option.valueName().isEmpty())
                strNames += QLatin1Char(' ') + option.valueName();
            m_strMessage += QStringLiteral("  %1\n      %2\n").arg(strNames, option.description());
        }
        return HELP;
    }
    if (!parser.positionalArguments().isEmpty())
    {
        m_strMessage = QStringLiteral("unexpected argument: %1\nTry --help.").arg(parser.positionalArguments().first());
        return ERROR;
    }

    const QString strExecutable = arguments.value(0);
    m_strProfile = parser.isSet(profileOption) ? parser.value(profileOption)
                                               : findShippedFile(QStringLiteral("profile.json"), strExecutable);
    m_strLogConfig = parser.isSet(logConfigOption)
                         ? parser.value(logConfigOption)
                         : findShippedFile(QStringLiteral("log4cxx.properties"), strExecutable);
    m_strDataDir = parser.isSet(dataDirOption) ? parser.value(dataDirOption) : QStringLiteral("var");
    m_strWatchPath = parser.value(watchOption);
    m_strListenName = parser.value(listenOption);
    m_bHeadless = parser.isSet(headlessOption);
    m_bAutoDispatch = parser.isSet(autoOption);
    for (const QString* pValue : {&m_strProfile, &m_strDataDir, &m_strLogConfig})
    {
        if (pValue->isEmpty())
        {
            m_strMessage = QStringLiteral("an option was given an empty value\nTry --help.");
            return ERROR;
        }
    }
    if (parser.isSet(watchOption) && (m_strWatchPath.isEmpty() || m_strWatchPath.endsWith(QLatin1Char('/')) ||
                                      QFileInfo(m_strWatchPath).isDir())) {
        m_strMessage = QStringLiteral("--watch needs the path of a file, not of a directory: \"%1\"")
                           .arg(m_strWatchPath);
        return ERROR;
    }
    if (QFileInfo::exists(m_strDataDir) && !QFileInfo(m_strDataDir).isDir()) {
        m_strMessage = QStringLiteral("--data-dir %1 is a file, not a directory").arg(m_strDataDir);
        return ERROR;
    }
    if (parser.isSet(listenOption) && m_strListenName.isEmpty()) {
        m_strMessage = QStringLiteral("--listen needs a socket name");
        return ERROR;
    }
    return RUN;
}

} // namespace TC
