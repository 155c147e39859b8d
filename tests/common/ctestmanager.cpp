#include "common/ctestmanager.h"

#include "cbatchordermanager.h"

CTestManager::CTestManager() : m_pHost(std::make_unique<CTestHost>())
{
    TC::CBatchOrderManager::initInstance(nullptr);
    m_pManager = TC::CBatchOrderManager::instance();
}

CTestManager::~CTestManager()
{
    TC::CBatchOrderManager::m_pInstance = nullptr;
    delete m_pManager;
    m_pHost.reset();
}
