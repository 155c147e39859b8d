#pragma once

#include <atomic>
#include <string>

namespace ttservice {

// The trading data centre: account data the host gathered from its trading connections.
// Any thread may call it.
class IDataCenter
{
public:
    virtual ~IDataCenter() = default;
    // Account key of the account with this id at this broker type; "" when there is none.
    virtual std::string getAccountKeyById(const std::string& strAccountId, int nBrokerType) const = 0;
};

// Entry point to the host's trading data. The host installs the data centre at start-up.
class TraderCenter
{
public:
    static TraderCenter* instance();
    IDataCenter* getDataCenter() const;
    void setDataCenter(IDataCenter* pDataCenter);

private:
    std::atomic<IDataCenter*> m_pDataCenter{nullptr};
};

} // namespace ttservice
