#pragma once

#include "common/crecordingorderservice.h"
#include "config/cconfig.h"
#include "config/chostprofile.h"
#include "config/cuserconfig.h"
#include "trading/corderservice.h"
#include "trading/cprofiledatacenter.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A complete reference host for one test: a temporary data directory, the profile, the user
// configuration, the environment and an order service, all installed as the process-wide services
// while it lives and uninstalled when it goes.
class CTestHost
{
public:
    enum EOrderServiceKind
    {
        RECORDING_SERVICE, // calls kept in memory (CRecordingOrderService)
        JOURNAL_SERVICE,   // the real paper broker with its SQLite journal in the data directory
    };

    explicit CTestHost(EOrderServiceKind eKind = RECORDING_SERVICE, const QString& strProfilePath = QString());
    ~CTestHost();
    CTestHost(const CTestHost&) = delete;
    CTestHost& operator=(const CTestHost&) = delete;

    QString dataDir() const;
    QString batchOrderDir() const;
    QString journalPath() const;
    static QString sampleProfilePath();

    TC::CUserConfig& userConfig() { return *m_pUserConfig; }
    TC::COrderService& orderService() { return *m_pOrderService; }
    // Null unless the host was built with RECORDING_SERVICE.
    CRecordingOrderService* recorder() { return m_pRecorder; }

    // Replaces the strategy substitution texts.
    void setStrategySubstitution(const QString& strFrom, const QString& strTo);

private:
    QTemporaryDir m_dir;
    TC::CHostProfile m_profile;
    std::unique_ptr<TC::CConfig> m_pConfig;
    std::unique_ptr<TC::CUserConfig> m_pUserConfig;
    std::unique_ptr<TC::COrderService> m_pOrderService;
    CRecordingOrderService* m_pRecorder = nullptr;
    std::unique_ptr<TC::CProfileDataCenter> m_pDataCenter;
};

// Waits until every task posted so far to the "batchorder" strand has run.
void drainBatchOrderStrand();
