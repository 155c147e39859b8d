#pragma once

#include "base/cmanualsingletont.h"

#include <QString>

namespace TC {

// The host environment: where the data lives and the host-wide texts the module reads. Set up once by
// the host before the module starts; read-only afterwards.
class CConfig
{
public:
    CConfig(const QString& strDataDir, const QString& strReplaceFrom, const QString& strReplaceTo);

    const QString& dataDir() const { return m_strDataDir; }
    QString batchOrderDir() const;   // <data-dir>/batchorder

    // Strategy substitution: a STRATEGY equal to the first becomes the second; empty means none.
    const QString& strategyReplaceFrom() const { return m_strReplaceFrom; }
    const QString& strategyReplaceTo() const { return m_strReplaceTo; }

    // Creates the data dir and the batch order dir. False with a reason naming the directory on failure.
    bool prepareDirectories(QString& strError) const;

private:
    QString m_strDataDir;
    QString m_strReplaceFrom;
    QString m_strReplaceTo;
};

// The installed configuration (utils::CManualSingletonT<CConfig>); null before the host sets it up.
CConfig* getConfig();
// The directory of the daily backup files; empty before the host sets up its configuration.
QString getDefaultBatchOrderDir();

} // namespace TC

template <>
TC::CConfig* utils::CManualSingletonT<TC::CConfig>::instance();
template <>
void utils::CManualSingletonT<TC::CConfig>::setInstance(TC::CConfig* pInstance);
