#pragma once

#include <QString>
#include <QStringList>

namespace TC {

// Command line of batchorder-host.
class CHostOptions
{
public:
    enum EResult
    {
        RUN,   // options are fine, run the host
        HELP,  // --help was given; m_strMessage holds the help text
        ERROR, // m_strMessage says what is wrong
    };

    // Parses the arguments (argv[0] first). The default profile and log configuration are the ones
    // installed with the executable (or, for a build that was not installed, its source tree's).
    EResult parse(const QStringList& arguments);

    QString m_strProfile;
    QString m_strDataDir;
    QString m_strLogConfig;
    QString m_strWatchPath;
    QString m_strListenName;
    bool m_bHeadless = false;
    bool m_bAutoDispatch = false;
    qint64 m_nMaxFileSize = 64LL * 1024 * 1024; // instruction files larger than this are left aside
    QString m_strMessage;
};

} // namespace TC
