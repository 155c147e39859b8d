#include "cbatchordermessageconsole.h"

#include "batchordercommon.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "ctextbrowser.h"
#include "runinmainthread.h"

#include "config/cuserconfig.h"
#include "ui/cstandardtabcontrol.h"

#include <boost/bind/bind.hpp>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace TC {

namespace {

// Time one turn of the event loop may spend appending queued messages before it yields.
const qint64 kFlushBudgetMs = 8;
const size_t kFlushChunk = 32; // laying out one line costs tens of microseconds

bool onGuiThread()
{
    const QCoreApplication* pApp = QCoreApplication::instance();
    return !pApp || QThread::currentThread() == pApp->thread();
}

} // namespace

CBatchOrderMessageConsole::CBatchOrderMessageConsole(QWidget* pParent)
    : WQ::CBaseWidget(QStringLiteral("BatchOrder"), false, pParent)
{
    createUi();
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    m_pConsoleModel = pManager ? pManager->getConsoleModel() : nullptr;
    if (!m_pConsoleModel) {
        return;
    }
    std::vector<boost::shared_ptr<CBatchOrderMessageData>> history;
    {
        // Connecting and taking the history under one lock: a message reported in between would
        // otherwise be shown twice, once replayed and once live.
        boost::recursive_mutex::scoped_lock lock(m_pConsoleModel->m_mutex);
        m_connection = m_pConsoleModel->m_sigMessage.connect(
            boost::bind(&CBatchOrderMessageConsole::onMessage, this, boost::placeholders::_1));
        history = m_pConsoleModel->getAllMsgs();
    }
    QStringList lines;
    lines.reserve(static_cast<int>(history.size()));
    for (const auto& pData : history) {
        lines.append(pData->getMsg());
    }
    m_pTextBrowser->appendLines(lines);
}

CBatchOrderMessageConsole::~CBatchOrderMessageConsole()
{
    delete m_pTextBrowser;
    m_pTextBrowser = nullptr;
    m_connection.disconnect();
    if (m_pConsoleModel) {
        // Slots run under the model's lock: once it is ours, no onMessage of this console is still
        // running on another thread, and none will start.
        boost::recursive_mutex::scoped_lock lock(m_pConsoleModel->m_mutex);
    }
    m_pConsoleModel.reset();
}

void CBatchOrderMessageConsole::createUi()
{
    auto* pTabs = new WQ::CStandardTabControl(this);
    m_pTextBrowser = new CTextBrowser(pTabs);
    pTabs->addTabWidget(QStringLiteral("执行信息"), m_pTextBrowser, nullptr);
    setContentWidget(pTabs, 0, 0, 0, 0, true);
    writeBanner();
}

void CBatchOrderMessageConsole::writeBanner()
{
    const QString strStars(60, QLatin1Char('*'));
    const COrderService* pService = orderService();
    const CUserConfig* pConfig = getUserConfig();
    const bool bRunning = pService && pService->isStrategyRunning(kBatchOrderStrategy);
    const QString strPath = pConfig ? pConfig->getUserDataString(USER_BATCH_ORDER_FILE_PATH) : QString();
    const QString strKey = pConfig ? pConfig->getUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY) : QString();
    const bool bShortcut = pConfig && pConfig->getUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED);
    m_pTextBrowser->appendLines({strStars,
                                 QStringLiteral("[system] Strategy 999 is %1!")
                                     .arg(bRunning ? QStringLiteral("start") : QStringLiteral("stop")),
                                 QStringLiteral("[system] Monitor path is %1!").arg(strPath),
                                 QStringLiteral("[system] Shortcut key is %1!").arg(strKey),
                                 QStringLiteral("[system] Shortcut is %1!")
                                     .arg(bShortcut ? QStringLiteral("enable") : QStringLiteral("disable")),
                                 strStars});
}

void CBatchOrderMessageConsole::onMessage(const boost::shared_ptr<CBatchOrderMessageData>& pData)
{
    if (!pData) {
        return;
    }
    const bool bGuiThread = onGuiThread();
    bool bPost = false;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pendingMessages.push_back(pData);
        if (!bGuiThread && !m_bFlushQueued) {
            m_bFlushQueued = true;
            bPost = true;
        }
    }
    if (bGuiThread) {
        // Shown before the report returns, after whatever other threads queued before it. A flush
        // still posted finds nothing left and ends.
        flushPending(true);
    } else if (bPost) {
        runInMainThread([this] { flushPending(false); }, this);
    }
}

void CBatchOrderMessageConsole::flushPending(bool bAll)
{
    QElapsedTimer timer;
    timer.start();
    while (true) {
        std::vector<boost::shared_ptr<CBatchOrderMessageData>> batch;
        bool bEmpty = false;
        {
            std::lock_guard<std::mutex> lock(m_pendingMutex);
            const size_t nTake =
                bAll ? m_pendingMessages.size() : std::min(kFlushChunk, m_pendingMessages.size());
            const auto end = m_pendingMessages.begin() + static_cast<std::ptrdiff_t>(nTake);
            batch.assign(m_pendingMessages.begin(), end);
            m_pendingMessages.erase(m_pendingMessages.begin(), end);
            bEmpty = m_pendingMessages.empty();
            if (bEmpty && !bAll) {
                m_bFlushQueued = false; // the next report from another thread posts a new flush
            }
        }
        if (m_pTextBrowser && !batch.empty()) {
            QStringList lines;
            lines.reserve(static_cast<int>(batch.size()));
            for (const auto& pMessage : batch) {
                lines.append(pMessage->getMsg());
            }
            m_pTextBrowser->appendLines(lines);
        }
        if (bAll || bEmpty) {
            return;
        }
        if (timer.elapsed() >= kFlushBudgetMs) {
            // The rest waits for the next turn of the event loop, after the input and painting that
            // are waiting now; m_bFlushQueued stays set for it.
            QMetaObject::invokeMethod(
                this, [this] { flushPending(false); }, Qt::QueuedConnection);
            return;
        }
    }
}

} // namespace TC
