#include "config/accountlookup.h"

#include "config/cuserconfig.h"

namespace TC {

namespace {

const QString kAnyAccountType = QStringLiteral("49");

bool typeMatches(const QString& strAccountType, int nType)
{
    // The instruction parser writes "49" on every line that does not carry a full key.
    if (strAccountType.isEmpty() || strAccountType == kAnyAccountType) {
        return true;
    }
    bool bOk = false;
    const int nWanted = strAccountType.toInt(&bOk, 10);
    return bOk && nWanted == nType;
}

bool brokerMatches(const QString& strBrokerType, int nBroker)
{
    if (strBrokerType.isEmpty()) {
        return true;
    }
    bool bOk = false;
    const int nWanted = strBrokerType.toInt(&bOk, 10);
    return bOk && nWanted == nBroker;
}

const char* centerMarket(EAccCenterType eCenter)
{
    switch (eCenter) {
    case ACC_CENTER_SH:
        return "SH";
    case ACC_CENTER_SZ:
        return "SZ";
    case ACC_CENTER_BJ:
        return "BJ";
    case ACC_CENTER_NONE:
        break;
    }
    return nullptr;
}

// First account of the profile, in file order, that the order's account columns name.
const CAccountData* findAccount(const CUserConfig& config, const QString& strAccountType,
                                const QString& strAccountId, const QString& strBrokerType)
{
    if (strAccountId.isEmpty()) {
        return nullptr;
    }
    for (const CAccountData& account : config.profile().m_accounts) {
        if ((account.m_strId == strAccountId || account.m_strKey == strAccountId) &&
            typeMatches(strAccountType, account.m_nType) && brokerMatches(strBrokerType, account.m_nBroker)) {
            return &account;
        }
    }
    return nullptr;
}

} // namespace

QString getAccountFromOrderParam(const QString& strAccountType, const QString& strAccountId,
                                 const QString& strBrokerType)
{
    const CUserConfig* pConfig = getUserConfig();
    const CAccountData* pAccount =
        pConfig ? findAccount(*pConfig, strAccountType, strAccountId, strBrokerType) : nullptr;
    return pAccount ? pAccount->m_strKey : QString();
}

QString getAccountFromOrderParam(const QString& strAccountType, const QString& strAccountId,
                                 const QString& strBrokerType, EAccCenterType eCenter)
{
    const CUserConfig* pConfig = getUserConfig();
    const CAccountData* pAccount =
        pConfig ? findAccount(*pConfig, strAccountType, strAccountId, strBrokerType) : nullptr;
    if (!pAccount) {
        return QString();
    }
    const char* pMarket = centerMarket(eCenter);
    if (!pAccount->m_bDualCenter || !pMarket) {
        return pAccount->m_strKey;
    }
    // A centre without a sub-account of its own trades through the main account.
    return pAccount->m_centerKeys.value(QLatin1String(pMarket), pAccount->m_strKey);
}

QString accountDisplayIDQs(const CAccount& account)
{
    return account.m_strId;
}

} // namespace TC
