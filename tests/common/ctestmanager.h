#pragma once

#include "common/ctesthost.h"

#include <memory>

namespace TC {
class CBatchOrderManager;
}

// A host and the process-wide batch order manager installed on it for one test; the manager is
// destroyed before the host.
class CTestManager
{
public:
    CTestManager();
    ~CTestManager();
    CTestManager(const CTestManager&) = delete;
    CTestManager& operator=(const CTestManager&) = delete;

    CTestHost& host() { return *m_pHost; }
    TC::CBatchOrderManager* manager() const { return m_pManager; }

private:
    std::unique_ptr<CTestHost> m_pHost;
    TC::CBatchOrderManager* m_pManager = nullptr;
};
