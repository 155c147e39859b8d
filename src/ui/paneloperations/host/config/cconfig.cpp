#include "config/cconfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace {

std::atomic<TC::CConfig*> s_pConfig{nullptr};

} // namespace

template <> TC::CConfig* utils::CManualSingletonT<TC::CConfig>::instance()
{
    return s_pConfig.load();
}

template <> void utils::CManualSingletonT<TC::CConfig>::setInstance(TC::CConfig* pInstance)
{
    s_pConfig.store(pInstance);
}

namespace TC {

namespace {

bool prepareDirectory(const QString& strDir, QString& strError)
{
    const QFileInfo info(strDir);
    if (info.exists() && !info.isDir()) {
        strError = QStringLiteral("cannot use directory \"%1\": a file of that name is in the way")
                       .arg(QDir::toNativeSeparators(strDir));
        return false;
    }
    if (!info.exists()) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(strDir).toStdString()),
                                            ec);
        if (ec) {
            strError = QStringLiteral("cannot create directory \"%1\": %2")
                           .arg(QDir::toNativeSeparators(strDir), QString::fromStdString(ec.message()));
            return false;
        }
    }
    // Found now rather than when the first backup row fails to be written.
    if (!QFileInfo(strDir).isWritable()) {
        strError =
            QStringLiteral("cannot use directory \"%1\": not writable").arg(QDir::toNativeSeparators(strDir));
        return false;
    }
    return true;
}

} // namespace

CConfig::CConfig(const QString& strDataDir, const QString& strReplaceFrom, const QString& strReplaceTo)
    : m_strDataDir(strDataDir), m_strReplaceFrom(strReplaceFrom), m_strReplaceTo(strReplaceTo)
{
}

QString CConfig::batchOrderDir() const
{
    // Without a data directory there is no place for the backups; a relative "batchorder" would land
    // wherever the host happened to be started.
    if (m_strDataDir.isEmpty()) {
        return QString();
    }
    return QDir::cleanPath(QDir(m_strDataDir).filePath(QStringLiteral("batchorder")));
}

bool CConfig::prepareDirectories(QString& strError) const
{
    strError.clear();
    if (m_strDataDir.isEmpty()) {
        strError = QStringLiteral("no data directory is configured");
        return false;
    }
    return prepareDirectory(m_strDataDir, strError) && prepareDirectory(batchOrderDir(), strError);
}

CConfig* getConfig()
{
    return utils::CManualSingletonT<CConfig>::instance();
}

QString getDefaultBatchOrderDir()
{
    const CConfig* pConfig = getConfig();
    return pConfig ? pConfig->batchOrderDir() : QString();
}

} // namespace TC
