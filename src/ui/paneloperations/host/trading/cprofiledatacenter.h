#pragma once

#include "trading/tradercenter.h"

namespace TC {

class CUserConfig;

// The reference host's data centre: answers account look-ups from the accounts of the user configuration
// (the profile) instead of a live trading connection. Any thread may call it.
class CProfileDataCenter : public ttservice::IDataCenter
{
public:
    // Reads the configuration installed at the time of each call (TC::getUserConfig()).
    CProfileDataCenter() = default;
    // Reads the given configuration, which must outlive this object.
    explicit CProfileDataCenter(const CUserConfig& config) : m_pConfig(&config) {}

    // strAccountId may be the account id or its full key; the first account of the profile with that id
    // at that broker type wins, whatever its account type. "" when there is none or no configuration.
    std::string getAccountKeyById(const std::string& strAccountId, int nBrokerType) const override;

private:
    const CUserConfig* m_pConfig = nullptr;
};

} // namespace TC
