#include "config/cuserconfig.h"

#include "base/clogger.h"

#include <boost/make_shared.hpp>

#include <QMap>
#include <QSet>
#include <QSettings>

#include <algorithm>

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
    case TC::USER_HOST_WINDOW_GEOMETRY:
        return QStringLiteral("window/geometry");
    case TC::USER_HOST_WINDOW_STATE:
        return QStringLiteral("window/state");
    case TC::USER_HOST_CONSOLE_OPEN:
        return QStringLiteral("window/consoleOpen");
    case TC::USER_HOST_CONSOLE_WIDTH:
        return QStringLiteral("window/consoleWidth");
    case TC::USER_HOST_THEME_LIGHT:
        return QStringLiteral("window/lightTheme");
    }
    return QStringLiteral("user/member%1").arg(static_cast<int>(eMember));
}

// The user's changes to the profile's algorithm settings: one entry per price-type code the user set
// (name, order type, price type), and the list of profile codes the user removed.
const QString kAlgoParamsGroup = QStringLiteral("dbfAlgoParams");
const QString kAlgoParamsRemovedKey = QStringLiteral("dbfAlgoParamsRemoved/codes");

bool sameAlgoParam(const TC::CDbfAlgoParam& left, const TC::CDbfAlgoParam& right)
{
    return left.m_strPriceTypeCode == right.m_strPriceTypeCode && left.m_strName == right.m_strName &&
           left.m_nOrderType == right.m_nOrderType && left.m_nPriceType == right.m_nPriceType;
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
    loadDbfAlgoParams();
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
    boost::mutex::scoped_lock lock(m_mutex);
    return m_algoParams.value(strPriceType);
}

QList<boost::shared_ptr<CDbfAlgoParam>> CUserConfig::getDbfAlgoParams() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_algoParamList;
}

bool CUserConfig::setDbfAlgoParams(const QList<CDbfAlgoParam>& params, QString& strError)
{
    strError.clear();
    QSet<QString> codes;
    for (const CDbfAlgoParam& param : params) {
        if (!m_profile.m_dbfPriceTypes.contains(param.m_strPriceTypeCode)) {
            strError = QStringLiteral("价格类型代码\"%1\"不在报价方式表中").arg(param.m_strPriceTypeCode);
        } else if (codes.contains(param.m_strPriceTypeCode)) {
            strError = QStringLiteral("价格类型代码\"%1\"重复").arg(param.m_strPriceTypeCode);
        } else if (param.m_strName.trimmed().isEmpty()) {
            strError = QStringLiteral("价格类型代码\"%1\"的算法名称为空").arg(param.m_strPriceTypeCode);
        }
        if (!strError.isEmpty()) {
            return false;
        }
        codes.insert(param.m_strPriceTypeCode);
    }

    // Only the differences from the profile are stored, so that later changes to the profile still
    // reach the settings the user left alone.
    QStringList removed;
    for (const CDbfAlgoParam& profileParam : qAsConst(m_profile.m_algoSettings)) {
        if (!codes.contains(profileParam.m_strPriceTypeCode)) {
            removed.append(profileParam.m_strPriceTypeCode);
        }
    }
    QMap<QString, CDbfAlgoParam> changed;
    for (const CDbfAlgoParam& param : params) {
        const auto profileIt = std::find_if(
            m_profile.m_algoSettings.cbegin(), m_profile.m_algoSettings.cend(),
            [&](const CDbfAlgoParam& p) { return p.m_strPriceTypeCode == param.m_strPriceTypeCode; });
        if (profileIt == m_profile.m_algoSettings.cend() || !sameAlgoParam(*profileIt, param)) {
            changed.insert(param.m_strPriceTypeCode, param);
        }
    }

    boost::mutex::scoped_lock lock(m_mutex);
    m_pSettings->remove(kAlgoParamsGroup);
    m_pSettings->beginGroup(kAlgoParamsGroup);
    for (const CDbfAlgoParam& param : qAsConst(changed)) {
        m_pSettings->setValue(param.m_strPriceTypeCode,
                              QStringList{param.m_strName, QString::number(param.m_nOrderType),
                                          QString::number(param.m_nPriceType)});
    }
    m_pSettings->endGroup();
    m_pSettings->setValue(kAlgoParamsRemovedKey, removed);
    m_pSettings->sync();
    if (m_pSettings->status() != QSettings::NoError) {
        logSaveFailure(*m_pSettings, kAlgoParamsGroup);
    }
    // In the order a restart will read them in.
    installDbfAlgoParams(QSet<QString>(removed.cbegin(), removed.cend()), changed);
    return true;
}

void CUserConfig::loadDbfAlgoParams()
{
    const QStringList removedList = m_pSettings->value(kAlgoParamsRemovedKey).toStringList();
    const QSet<QString> removed(removedList.cbegin(), removedList.cend());
    QMap<QString, CDbfAlgoParam> changed; // by code, so that added ones come in code order
    m_pSettings->beginGroup(kAlgoParamsGroup);
    for (const QString& strCode : m_pSettings->childKeys()) {
        const QStringList fields = m_pSettings->value(strCode).toStringList();
        CDbfAlgoParam param;
        param.m_strPriceTypeCode = strCode;
        bool bOrderOk = false;
        bool bPriceOk = false;
        if (fields.size() == 3) {
            param.m_strName = fields.at(0);
            param.m_nOrderType = fields.at(1).toInt(&bOrderOk);
            param.m_nPriceType = fields.at(2).toInt(&bPriceOk);
        }
        // An entry the profile no longer allows, or a damaged one, is left out, as the profile would be.
        if (bOrderOk && bPriceOk && !param.m_strName.trimmed().isEmpty() &&
            m_profile.m_dbfPriceTypes.contains(strCode)) {
            changed.insert(strCode, param);
        }
    }
    m_pSettings->endGroup();

    installDbfAlgoParams(removed, changed);
}

void CUserConfig::installDbfAlgoParams(const QSet<QString>& removed, QMap<QString, CDbfAlgoParam> changed)
{
    // The profile's settings in profile order, less those removed and as changed, then the added ones.
    QList<CDbfAlgoParam> params;
    for (const CDbfAlgoParam& profileParam : qAsConst(m_profile.m_algoSettings)) {
        if (!removed.contains(profileParam.m_strPriceTypeCode)) {
            params.append(changed.contains(profileParam.m_strPriceTypeCode)
                              ? changed.take(profileParam.m_strPriceTypeCode)
                              : profileParam);
        }
    }
    for (const CDbfAlgoParam& param : qAsConst(changed)) {
        params.append(param);
    }
    // New objects each time: a setting handed out earlier stays as it was for whoever holds it.
    m_algoParamList.clear();
    m_algoParams.clear();
    for (const CDbfAlgoParam& param : qAsConst(params)) {
        auto pParam = boost::make_shared<CDbfAlgoParam>(param);
        m_algoParamList.append(pParam);
        m_algoParams.insert(param.m_strPriceTypeCode, pParam);
    }
}

CUserConfig* getUserConfig()
{
    return utils::CManualSingletonT<CUserConfig>::instance();
}

} // namespace TC
