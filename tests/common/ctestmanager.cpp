#include "common/ctestmanager.h"

#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QFile>

#include <utility>

CTestManager::CTestManager(bool bCreate, const QString& strProfilePath)
    : m_pHost(std::make_unique<CTestHost>(CTestHost::RECORDING_SERVICE, strProfilePath))
{
    if (bCreate)
        create();
}

CTestManager::~CTestManager()
{
    destroy();
    m_pHost.reset();
}

TC::CBatchOrderManager* CTestManager::create()
{
    TC::CBatchOrderManager::initInstance(nullptr);
    m_pManager = TC::CBatchOrderManager::instance();
    return m_pManager;
}

void CTestManager::destroy()
{
    m_pHost->recorder()->release();
    if (TC::CBatchOrderSmartKeyChecker* pChecker = TC::CBatchOrderSmartKeyChecker::instance())
        pChecker->stop(); // the checker outlives every manager: leave it stopped and untriggered
    TC::CMonitorProcessChecker::configure({}, false);
    if (!m_pManager)
        return;
    QCoreApplication::processEvents(); // nothing queued for a widget may outlive the test
    m_pManager->stopFileMonitor();
    drainBatchOrderStrand();
    QCoreApplication::processEvents();
    if (TC::CBatchOrderManager::m_pInstance == m_pManager)
        TC::CBatchOrderManager::m_pInstance = nullptr;
    delete m_pManager;
    m_pManager = nullptr;
}

TC::CBatchOrderManager* CTestManager::takeManager()
{
    TC::CBatchOrderManager::m_pInstance = nullptr;
    return std::exchange(m_pManager, nullptr);
}

QStringList CTestManager::consoleTexts() const
{
    QStringList texts;
    if (!m_pManager)
        return texts;
    for (const auto& pMsg : m_pManager->getConsoleModel()->getAllMsgs())
        texts << pMsg->getMsg().mid(13); // "hh:mm:ss.zzz "
    return texts;
}

void CTestManager::intake(const QString& strLines)
{
    ASSERT_TRUE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder:") + strLines));
    drainBatchOrderStrand();
}

QString CTestManager::backupPath() const
{
    return m_pHost->batchOrderDir() + QStringLiteral("/batchOrder_back_") +
           QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

QStringList CTestManager::backupLines() const
{
    QFile file(backupPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString strText = QString::fromUtf8(file.readAll());
    strText.remove(QChar(0xFEFF));
    QStringList lines = strText.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
