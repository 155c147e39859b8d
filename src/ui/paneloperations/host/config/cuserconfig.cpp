#include "config/cuserconfig.h"

#include "base/clogger.h"

#include <boost/make_shared.hpp>

#include <QSettings>

#include <atomic>

namespace {

std::atomic<TC::CUserConfig*> s_pUserConfig{nullptr};

// Where each setting lives in user.ini. Members without a name of their own still get stored, under
// [user] member<number>, so a newly added member is never dropped.
QString settingKey(TC::EUserMember eMember)
{
    switch (eMember) {
    case TC::USER_BATCH_ORDER_SHORTCUT_ENABLED:
        return QStringLiteral("batchorder/shortcutEnabled");
    case TC::USER_BATCH_ORDER_SHORTCUT_KEY:
        return QStringLiteral("batchorder/shortcutKey");
    case TC::USER_BATCH_ORDER_FILE_PATH:
        return QStringLiteral("batchorder/instructionFile");
    }
    return QStringLiteral("user/member%1").arg(static_cast<int>(eMember));
}

void logSaveFailure(const QSettings& settings, const QString& strKey)
{
    if (!g_TTStdLogger || !g_TTStdLogger->isErrorEnabled()) {
        return;
    }
    const char* pReason = settings.status() == QSettings::AccessError ? "cannot write the file"
                                                                      : "the file is not a valid ini file";
    LOG4CXX_ERROR(g_TTStdLogger, "user setting " << strKey.toStdString() << " kept in memory only, "
                                                 << settings.fileName().toStdString() << ": " << pReason);
}

} // namespace

template <> TC::CUserConfig* utils::CManualSingletonT<TC::CUserConfig>::instance()
{
    return s_pUserConfig.load();
}

template <> void utils::CManualSingletonT<TC::CUserConfig>::setInstance(TC::CUserConfig* pInstance)
{
    s_pUserConfig.store(pInstance);
}

namespace TC {

CUserConfig::CUserConfig(const QString& strIniPath, const CHostProfile& profile)
    : m_pSettings(new QSettings(strIniPath, QSettings::IniFormat)), m_profile(profile)
{
    m_pSettings->setIniCodec("UTF-8");
    for (const CAccountData& account : qAsConst(m_profile.m_accounts)) {
        auto pAccount = boost::make_shared<CAccountData>(account);
        m_accounts.append(pAccount);
        m_accountsByKey.insert(account.m_strKey, pAccount);
    }
    for (const CDbfAlgoParam& param : qAsConst(m_profile.m_algoSettings)) {
        m_algoParams.insert(param.m_strPriceTypeCode, boost::make_shared<CDbfAlgoParam>(param));
    }
}

CUserConfig::~CUserConfig() = default;

bool CUserConfig::getUserDataBool(EUserMember eMember) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_pSettings->value(settingKey(eMember), false).toBool();
}

void CUserConfig::setUserDataBool(EUserMember eMember, bool bValue, bool bNotify)
{
    store(eMember, bValue, bNotify);
}

QString CUserConfig::getUserDataString(EUserMember eMember) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_pSettings->value(settingKey(eMember), QString()).toString();
}

void CUserConfig::setUserDataString(EUserMember eMember, const QString& strValue, bool bNotify)
{
    store(eMember, strValue, bNotify);
}

void CUserConfig::store(EUserMember eMember, const QVariant& value, bool bNotify)
{
    const QString strKey = settingKey(eMember);
    QString strFailedFile;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_pSettings->status() != QSettings::NoError) {
            // The status keeps the first error for good: only a fresh object tells whether this write
            // succeeds. It takes over the values not yet written, which the file cache holds.
            m_pSettings = std::make_unique<QSettings>(m_pSettings->fileName(), QSettings::IniFormat);
            m_pSettings->setIniCodec("UTF-8");
        }
        m_pSettings->setValue(strKey, value);
        // Written through at once so that a crash of the host loses no setting.
        m_pSettings->sync();
        if (m_pSettings->status() != QSettings::NoError) {
            logSaveFailure(*m_pSettings, strKey);
            strFailedFile = m_pSettings->fileName();
        }
    }
    // Outside the lock: a slot may read the settings again.
    if (!strFailedFile.isEmpty()) {
        m_sigSaveFailed(strKey, strFailedFile);
    }
    if (bNotify) {
        m_sigChanged(eMember);
    }
}

boost::shared_ptr<CAccountData> CUserConfig::getAccountData(const QString& strKey) const
{
    // The account tables are built once in the constructor and never change, so no lock is needed.
    return m_accountsByKey.value(strKey);
}

bool CUserConfig::isDualCenterAccount(const boost::shared_ptr<CAccountData>& pAccount) const
{
    return pAccount && pAccount->m_bDualCenter;
}

QList<boost::shared_ptr<CAccountData>> CUserConfig::getAccounts() const
{
    return m_accounts;
}

boost::shared_ptr<CDbfAlgoParam> CUserConfig::getDbfAlgoParam(const QString& strPriceType) const
{
    return m_algoParams.value(strPriceType);
}

CUserConfig* getUserConfig()
{
    return utils::CManualSingletonT<CUserConfig>::instance();
}

} // namespace TC
