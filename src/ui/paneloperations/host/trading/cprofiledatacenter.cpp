#include "trading/cprofiledatacenter.h"

#include "config/cuserconfig.h"

#include <QString>

namespace TC {

std::string CProfileDataCenter::getAccountKeyById(const std::string& strAccountId, int nBrokerType) const
{
    const CUserConfig* pConfig = m_pConfig ? m_pConfig : getUserConfig();
    if (!pConfig || strAccountId.empty()) {
        return std::string();
    }
    const QString strId = QString::fromStdString(strAccountId);
    for (const CAccountData& account : pConfig->profile().m_accounts) {
        if (account.m_nBroker == nBrokerType && (account.m_strId == strId || account.m_strKey == strId)) {
            return account.m_strKey.toStdString();
        }
    }
    return std::string();
}

} // namespace TC
