#pragma once

#include "cbatchordermanager.h"
#include "cbatchordermessagedata.h"
#include "cbatchordermessagemodel.h"

#include "common/ctesthost.h"
#include "trading/corderservice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <QWidget>

#include <memory>

// A host and a fresh manager for each panel or settings dialog test; the manager is a process-wide
// object, so it is taken down (monitoring stopped, strand drained) before the host goes.
class CPanelTestFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
        TC::CBatchOrderManager::initInstance(nullptr);
        m_pManager = TC::CBatchOrderManager::instance();
    }

    void TearDown() override
    {
        QCoreApplication::processEvents(); // nothing queued for a widget may outlive the test
        m_pManager->stopFileMonitor();
        drainBatchOrderStrand();
        QCoreApplication::processEvents();
        TC::CBatchOrderManager::m_pInstance = nullptr;
        delete m_pManager;
        m_pHost.reset();
    }

    bool monitoring() const { return m_pHost->orderService().isStrategyRunning(999); }

    // The console texts reported since the manager was built, without time and level tag.
    QStringList consoleTexts() const
    {
        QStringList texts;
        for (const auto& pMsg : m_pManager->getConsoleModel()->getAllMsgs()) {
            const QString strLine = pMsg->getMsg();
            texts << strLine.mid(strLine.indexOf(QLatin1Char(']')) + 2);
        }
        return texts;
    }

    // The control with the given id among pParent's descendants of type T; null when there is none.
    template <class T> static T* control(const QWidget* pParent, int nId)
    {
        for (T* pChild : pParent->findChildren<T*>()) {
            if (pChild->id() == nId) {
                return pChild;
            }
        }
        return nullptr;
    }

    std::unique_ptr<CTestHost> m_pHost;
    TC::CBatchOrderManager* m_pManager = nullptr;
};
