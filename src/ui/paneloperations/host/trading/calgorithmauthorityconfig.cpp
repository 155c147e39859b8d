#include "trading/calgorithmauthorityconfig.h"

#include "config/cuserconfig.h"
#include "trading/calgorithmtradehelper.h"

namespace TC {

namespace {

// The rights entry of the key, or of the main account whose centre key it is; null when there is none.
const QSet<QString>* findRights(const CHostProfile& profile, const QString& strKey)
{
    const auto it = profile.m_algoRights.constFind(strKey);
    if (it != profile.m_algoRights.constEnd())
    {
        return &it.value();
    }
    for (const CAccountData& account : profile.m_accounts)
    {
        for (const QString& strCenterKey : account.m_centerKeys)
        {
            if (strCenterKey == strKey)
            {
                const auto itMain = profile.m_algoRights.constFind(account.m_strKey);
                return itMain != profile.m_algoRights.constEnd() ? &itMain.value() : nullptr;
            }
        }
    }
    return nullptr;
}

} // namespace

bool CAlgorithmAuthorityConfig::bCheckTrdAuthority(int nOrderType, const std::string& strAccountKey,
                                                   const QString& algo, QString& strError)
{
    const QString strKey = QString::fromUtf8(strAccountKey.data(), static_cast<int>(strAccountKey.size()));
    const QString strAlgo =
        algo.isEmpty() ? CAlgorithmTradeHelper::get3rdAlgoTypeByDbfParam(QString(), nOrderType) : algo;
    if (strAlgo.isEmpty())
    {
        strError = QStringLiteral("账号%1的算法委托未指定算法名称(SFMC)").arg(strKey);
        return false;
    }
    const CUserConfig* pConfig = getUserConfig();
    const QSet<QString>* pRights = pConfig ? findRights(pConfig->profile(), strKey) : nullptr;
    if (pRights)
    {
        for (const QString& strName : *pRights)
        {
            if (strName.compare(strAlgo, Qt::CaseInsensitive) == 0)
            {
                return true;
            }
        }
    }
    strError = QStringLiteral("账号%1没有算法%2的交易权限").arg(strKey, strAlgo);
    return false;
}

} // namespace TC
