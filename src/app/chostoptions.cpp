#include "chostoptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace TC {

namespace {

// A default file shipped with the host: in its data directory beside the installed executable
// (<prefix>/bin/../share/batchorder), else in the source tree of a build that was not installed. The
// current directory plays no part, so the host behaves the same wherever it is started from.
QString findShippedFile(const QString& strName)
{
    const QString strExecutable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    const QString strInstalled =
        QDir::cleanPath(QFileInfo(strExecutable).absolutePath() +
                        QStringLiteral("/" BATCHORDER_RELATIVE_DATA_DIR "/") + strName);
    const QString strSource = QStringLiteral(BATCHORDER_SOURCE_DATA_DIR "/") + strName;
    return QFileInfo::exists(strInstalled) || !QFileInfo::exists(strSource) ? strInstalled : strSource;
}

// A size in bytes, with an optional K, M or G (powers of 1024); 0 when it is not one.
qint64 parseSize(QString strValue)
{
    qint64 nUnit = 1;
    const QString strUnits = QStringLiteral("KMG");
    const int nUnitIndex = strValue.isEmpty() ? -1 : strUnits.indexOf(strValue.back().toUpper());
    if (nUnitIndex >= 0)
    {
        nUnit = qint64(1) << (10 * (nUnitIndex + 1));
        strValue.chop(1);
    }
    bool bOk = false;
    const qint64 nValue = strValue.toLongLong(&bOk, 10);
    return bOk && nValue > 0 && nValue <= (qint64(1) << 40) / nUnit ? nValue * nUnit : 0;
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
    const QString strDefaultProfile = findShippedFile(QStringLiteral("profile.json"));
    const QString strDefaultLogConfig = findShippedFile(QStringLiteral("log4cxx.properties"));
    const QCommandLineOption profileOption(
        QStringLiteral("profile"), QStringLiteral("Host profile (JSON). Default: %1.").arg(strDefaultProfile),
        QStringLiteral("FILE"));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("Data directory: user.ini, orders.db (the journal), logs/, batchorder/ (daily backup "
                       "files). Created if missing. Default: ./var."),
        QStringLiteral("DIR"));
    const QCommandLineOption logConfigOption(
        QStringLiteral("log-config"),
        QStringLiteral("log4cxx properties file. Default: %1.").arg(strDefaultLogConfig),
        QStringLiteral("FILE"));
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
    const QCommandLineOption maxFileSizeOption(
        QStringLiteral("max-file-size"),
        QStringLiteral(
            "Largest instruction file taken, in bytes, or with K, M or G (1024-based), at most 512M. "
            "A larger file is not read: it is left aside under a temporary name and the console says "
            "where. Default: 64M."),
        QStringLiteral("SIZE"));
    parser.addOptions({helpOption, profileOption, dataDirOption, logConfigOption, headlessOption, watchOption,
                       autoOption, listenOption, maxFileSizeOption});

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
        for (const QCommandLineOption& option :
             {helpOption, profileOption, dataDirOption, logConfigOption, headlessOption, watchOption,
              autoOption, listenOption, maxFileSizeOption})
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

    m_strProfile = parser.isSet(profileOption) ? parser.value(profileOption) : strDefaultProfile;
    m_strLogConfig = parser.isSet(logConfigOption) ? parser.value(logConfigOption) : strDefaultLogConfig;
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
    if (parser.isSet(maxFileSizeOption))
    {
        m_nMaxFileSize = parseSize(parser.value(maxFileSizeOption));
        if (m_nMaxFileSize < 1 || m_nMaxFileSize > 512LL * 1024 * 1024)
        {
            m_strMessage =
                QStringLiteral("--max-file-size needs a size from 1 to 512M, such as 1048576, 640K or 64M");
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
