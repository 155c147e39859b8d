#include "cbatchordermanager.h"

#include "batchordercommon.h"
#include "batchorderlog.h"
#include "cbatchorderbackupwriter.h"
#include "cbatchorderdata.h"
#include "cbatchorderfilemonitor.h"
#include "cbatchorderhelper.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmanualsingletont.h"
#include "base/crpcengine.h"
#include "config/cuserconfig.h"
#include "trading/corderservice.h"
#include "ui/cshortcutmanager.h"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/condition_variable.hpp>

#include <algorithm>
#include <atomic>
#include <vector>

namespace TC {

namespace {

const QString kShortcutPrefix = QStringLiteral("BatchOrder:");

} // namespace

CBatchOrderManager* CBatchOrderManager::m_pInstance = nullptr;

// Lets work that reaches the manager from another thread run only while the manager lives: close()
// turns later work into nothing and waits for the work under way, except the closing thread's own.
struct CBatchOrderManager::CTaskGuard
{
    template <class Function> void run(const Function& function)
    {
        if (!enter())
            return;
        struct CLeave
        {
            CTaskGuard& m_guard;
            ~CLeave() { m_guard.leave(); }
        } leave{*this};
        function();
    }

    void close()
    {
        boost::mutex::scoped_lock lock(m_mutex);
        m_bClosed = true;
        const boost::thread::id self = boost::this_thread::get_id();
        m_cond.wait(lock, [&] {
            return std::all_of(m_running.begin(), m_running.end(),
                               [&](const boost::thread::id& id) { return id == self; });
        });
    }

private:
    bool enter()
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_bClosed)
            return false;
        m_running.push_back(boost::this_thread::get_id());
        return true;
    }

    void leave()
    {
        boost::mutex::scoped_lock lock(m_mutex);
        m_running.erase(std::find(m_running.begin(), m_running.end(), boost::this_thread::get_id()));
        m_cond.notify_all();
    }

    boost::mutex m_mutex;
    boost::condition_variable m_cond;
    bool m_bClosed = false;
    std::vector<boost::thread::id> m_running; // one entry per piece of work under way
};

CBatchOrderManager* CBatchOrderManager::instance()
{
    return m_pInstance;
}

void CBatchOrderManager::initInstance(CBatchOrderManager* p)
{
    if (m_pInstance)
        return;
    m_pInstance = p ? p : new CBatchOrderManager();
}

CBatchOrderManager::CBatchOrderManager() : m_pTaskGuard(std::make_shared<CTaskGuard>())
{
    try
    {
        init();
    }
    catch (...)
    {
        // A manager that was never made must not stay reachable from other threads.
        unwire();
        throw;
    }
}

void CBatchOrderManager::init()
{
    m_pConsoleModel = boost::make_shared<CBatchOrderMessageModel>();

    CUserConfig* pUserConfig = getUserConfig();
    const QString strKey = pUserConfig ? pUserConfig->getUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY) : QString();
    const QString strPath = pUserConfig ? pUserConfig->getUserDataString(USER_BATCH_ORDER_FILE_PATH) : QString();
    m_orderSequence = QKeySequence::fromString(strKey, QKeySequence::NativeText);

    m_pBackupWriter = std::make_unique<CBatchOrderBackupWriter>();
    m_connections.push_back(m_pBackupWriter->m_sigMessage.connect(
        [this](EBatchOrderMsgLevel eLevel, const QString& strMsg) { showMsg(eLevel, strMsg, true); }));
    m_pHelper = std::make_unique<CBatchOrderHelper>();

    m_pStrand = utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder");

    // The checker before the connections: if its thread cannot start, nothing reaches this manager yet.
    CBatchOrderSmartKeyChecker::setInstance(boost::make_shared<CBatchOrderSmartKeyChecker>());
    CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance();
    pChecker->init();
    m_connections.emplace_back(
        pChecker->m_sigTrigger.connect(boost::bind(&CBatchOrderManager::slotAutoTrigger, this)));
    m_connections.emplace_back(utils::CSingletonT<CShortcutManager>::instance()->m_sigGlobalKey.connect(
        [this, pGuard = m_pTaskGuard](int nKey, int nState) {
            pGuard->run([&] { onGlobalKeyEvent(nKey, nState); });
        }));
    pChecker->attach(this);

    getConsoleModel();

    BO_LOG_INFO("BatchOrderManager init , path = {0}, key = {1}", toUtf8(strPath), toUtf8(strKey));
}

CBatchOrderManager::~CBatchOrderManager()
{
    // The manager may also be destroyed while monitoring still runs and work is under way.
    unwire();
    m_pBackupWriter.reset();
    m_pHelper.reset();
}

void CBatchOrderManager::unwire()
{
    // No key event, file or fire reaches this manager any more; a reader slot under way ends with the
    // reader thread, which the file monitor stops and joins.
    m_connections.clear();
    m_pFileMonitor.reset();
    // Strand tasks and key events under way end; those still queued will do nothing.
    m_pTaskGuard->close();
    // A check of the queue under way on the checker's thread ends, its fire included.
    if (CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance())
        pChecker->detach(this);
}

std::function<void()> CBatchOrderManager::guarded(std::function<void()> task) const
{
    return [pGuard = m_pTaskGuard, task = std::move(task)] { pGuard->run(task); };
}

void CBatchOrderManager::startFileMonitor(const QString& strPath)
{
    showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("start!"), true);
    if (strPath.isEmpty())
    {
        showMsg(MSG_LEVEL_ERROR, QStringLiteral("start path empty!"), true);
    }
    else
    {
        if (COrderService* pService = orderService())
            pService->addBatchOrderStrategy(kBatchOrderStrategy);
        if (!m_pFileMonitor)
        {
            m_pFileMonitor = std::make_unique<CBatchOrderFileMonitor>();
            m_connections.push_back(m_pFileMonitor->m_sigCsvFileRead.connect(
                boost::bind(&CBatchOrderManager::onCsvFileRead, this, boost::placeholders::_1)));
            m_connections.push_back(m_pFileMonitor->m_sigMessage.connect(
                [this](EBatchOrderMsgLevel eLevel, const QString& strMsg) {
                    showMsg(eLevel, strMsg, true);
                }));
        }
        m_pFileMonitor->setMaxFileSize(m_nMaxFileSize.load());
        m_pFileMonitor->setPath(strPath);
        m_pFileMonitor->startCsvMonitor();
    }
    CBatchOrderSmartKeyChecker::instance()->start();
}

void CBatchOrderManager::stopFileMonitor()
{
    // The automatic trigger first: once it returns no fire is under way, so none meets the strategy
    // stopped half-way through its dispatch.
    CBatchOrderSmartKeyChecker::instance()->stop();
    if (COrderService* pService = orderService())
    {
        QString strError;
        boost::mutex::scoped_lock dispatchLock(m_dispatchMutex);
        pService->stopOrderStrategy(kBatchOrderStrategy, strError);
    }
    showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("stop!"), true);
    if (m_pFileMonitor)
        m_pFileMonitor->stopCsvMonitor();
}

void CBatchOrderManager::setMaxFileSize(int64_t nBytes)
{
    m_nMaxFileSize.store(nBytes);
    if (m_pFileMonitor)
        m_pFileMonitor->setMaxFileSize(nBytes);
}

void CBatchOrderManager::setOrderSequence(const QKeySequence& sequence)
{
    boost::mutex::scoped_lock lock(m_sequenceMutex);
    m_orderSequence = sequence;
}

boost::shared_ptr<CBatchOrderMessageModel> CBatchOrderManager::getConsoleModel()
{
    if (!m_pConsoleModel)
        m_pConsoleModel = boost::make_shared<CBatchOrderMessageModel>();
    return m_pConsoleModel;
}

void CBatchOrderManager::showMsg(EBatchOrderMsgLevel eLevel, const QString& strMsg, bool bLog)
{
    if (m_pConsoleModel)
        m_pConsoleModel->updateData(eLevel, strMsg, bLog);
}

bool CBatchOrderManager::saveToFile(const QVector<boost::shared_ptr<CBatchOrderData>>& datas)
{
    return m_pBackupWriter && m_pBackupWriter->append(datas);
}

void CBatchOrderManager::onCsvFileRead(const QStringList& lines)
{
    QStringList copy = lines;
    // The reader's temporary copy stays on disk until the records are in the backup file: at every
    // moment each line is in one of the two, whenever the process dies.
    const QString strTaken = CBatchOrderFileMonitor::holdTakenFile();
    QString strSourcePath;
    const QByteArray source =
        m_sigReceipts.empty() ? QByteArray() : CBatchOrderFileMonitor::takenFileBytes(&strSourcePath);
    m_pStrand->post(guarded([this, copy = std::move(copy), strTaken, source, strSourcePath] {
        releaseTakenFile(strTaken, intake(copy, false, source, strSourcePath));
    }));
}

void CBatchOrderManager::releaseTakenFile(const QString& strTaken, bool bBackedUp)
{
    if (strTaken.isEmpty())
        return;
    if (!bBackedUp || !m_pBackupWriter)
    {
        BO_LOG_ERROR("kept {0}: its records are not in the backup file", toUtf8(strTaken));
        return;
    }
    m_pBackupWriter->removeOnceSynced(strTaken);
}

bool CBatchOrderManager::shortcutOrder(const QString& strText)
{
    if (!strText.startsWith(kShortcutPrefix, Qt::CaseInsensitive))
        return false;
    BO_LOG_INFO("shortcut {0}", toUtf8(strText));
    const QString strPayload = strText.mid(kShortcutPrefix.size());
    const QByteArray source = m_sigReceipts.empty() ? QByteArray() : strPayload.toUtf8();
    m_pStrand->post(guarded(
        [this, strPayload, source] { intake(strPayload.split(QStringLiteral("\n")), true, source); }));
    return true;
}

bool CBatchOrderManager::intake(const QStringList& lines, bool bShortcut, const QByteArray& source,
                                const QString& strSourcePath)
{
    QVector<boost::shared_ptr<CBatchOrderData>> batch;
    int nOrders = 0;
    int nCancels = 0;
    int nTasks = 0;
    // Receipts cost a few copies per line: only made for a slot that records them. Their source is
    // digested by the recorder, off the way to dispatch.
    const bool bReceipts = !m_sigReceipts.empty();
    QVector<CBatchOrderReceipt> receipts;
    CBatchOrderReceipt origin;
    if (bReceipts)
    {
        static std::atomic<int64_t> s_nLastSourceKey{0};
        origin.m_eSource = bShortcut ? RECEIPT_SOURCE_SOCKET : RECEIPT_SOURCE_FILE;
        origin.m_source = source;
        origin.m_nSourceKey = ++s_nLastSourceKey;
        origin.m_strInstructionPath = strSourcePath;
        receipts.reserve(lines.size() * 2);
    }
    const auto addReceipt = [&](int nLine, EBatchOrderReceiptState eState) -> CBatchOrderReceipt& {
        receipts.push_back(origin);
        receipts.back().m_nLine = nLine;
        receipts.back().m_eState = eState;
        return receipts.back();
    };
    {
        boost::recursive_mutex::scoped_lock lock(m_mutex);
        for (int nIndex = 0; nIndex < lines.size(); ++nIndex)
        {
            const QString& strRaw = lines.at(nIndex);
            QString strLine = strRaw.trimmed();
            strLine.remove(QLatin1Char('\n'));
            strLine.remove(QLatin1Char('\r'));
            if (strLine.isEmpty())
                continue;
            auto pData = boost::make_shared<CBatchOrderData>();
            const int nLine = nIndex + 1;
            if (bReceipts)
            {
                pData->m_nLine = nLine;
                pData->m_eSource = origin.m_eSource;
                pData->m_source = source;
                pData->m_nSourceKey = origin.m_nSourceKey;
                pData->m_strSourcePath = strSourcePath;
                QString strText = strRaw;
                if (strText.endsWith(QLatin1Char('\r')))
                    strText.chop(1);
                addReceipt(nLine, RECEIPT_TAKEN).m_strText = strText;
            }
            if (!pData->parse(strLine))
            {
                if (bReceipts)
                    addReceipt(nLine, RECEIPT_REJECTED).m_strReason = pData->m_strErrorMsg;
                continue;
            }
            if (pData->m_nStatus == 4)
            {
                m_handledDatas.push_back(pData);
                ++nCancels;
            }
            else if (pData->m_nStatus == 5)
            {
                m_handledDatas.push_back(pData);
                ++nTasks;
            }
            else
            {
                m_pendingDatas.push_back(pData);
                ++nOrders;
            }
            if (bReceipts)
                addReceipt(nLine, pData->m_nStatus == 4   ? RECEIPT_CANCEL_SENT
                                  : pData->m_nStatus == 5 ? RECEIPT_TASK_SENT
                                                          : RECEIPT_PENDING);
            batch.push_back(pData);
        }
        // Under the lock: no trigger can take these orders, and announce them placed, before the
        // recorder has their pending receipts.
        if (!receipts.isEmpty())
            m_sigReceipts(receipts);
    }

    if (bShortcut)
    {
        showMsg(MSG_LEVEL_ORDER,
                QStringLiteral("[快捷键下单] 接收到 %1 条下单参数(下单: %2条, 撤单: %3条, 操作任务: %4条).")
                    .arg(lines.size())
                    .arg(nOrders)
                    .arg(nCancels)
                    .arg(nTasks),
                true);
    }

    bool bBackedUp = true;
    if (!batch.isEmpty())
    {
        m_sigNewDatas(batch);
        bBackedUp = saveToFile(batch);
    }

    CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance();
    if (pChecker && pChecker->isTriggered())
    {
        if (bShortcut)
            BO_LOG_INFO("user trigger shortcut order");
        else
            BO_LOG_INFO("user trigger order");
        tryOrder();
    }
    return bBackedUp;
}

void CBatchOrderManager::tryOrder()
{
    if (!m_pHelper)
        return;
    boost::mutex::scoped_lock dispatchLock(m_dispatchMutex);
    COrderService* pService = orderService();
    boost::shared_ptr<COrderStrategy> pStrategy;
    int nNotPlaced = 0;
    QVector<COrderParam> orders;
    QVector<boost::shared_ptr<CBatchOrderData>> changed;
    const bool bReceipts = !m_sigReceipts.empty();
    QVector<bool> placed; // per record of changed: whether its order was built
    {
        boost::recursive_mutex::scoped_lock lock(m_mutex);
        if (m_pendingDatas.empty())
            return;
        // Without a running strategy nothing could be placed: the records wait for a later trigger
        // rather than count as dispatched.
        if (pService)
            pStrategy = pService->getStrategyRef(kBatchOrderStrategy);
        if (!pStrategy)
        {
            nNotPlaced = static_cast<int>(m_pendingDatas.size());
        }
        else
        {
            // A record counts as dispatched once it was handed to the conversion, whatever came of it.
            orders.reserve(static_cast<int>(m_pendingDatas.size()));
            changed = takePending(1, [&](const boost::shared_ptr<CBatchOrderData>& pData) {
                const int nBefore = orders.size();
                m_pHelper->buildOrderParam(pData, orders);
                if (bReceipts)
                    placed.push_back(orders.size() > nBefore);
            });
            m_sigNewDatas(changed);
        }
    }

    if (!pStrategy)
    {
        showMsg(MSG_LEVEL_ERROR, QStringLiteral("批量下单策略未运行, %1 条指令未下出!").arg(nNotPlaced),
                true);
        return;
    }
    if (orders.isEmpty())
    {
        if (bReceipts)
            emitEndReceipts(changed, RECEIPT_PLACED, placed);
        return;
    }
    showMsg(MSG_LEVEL_ORDER, QStringLiteral("用户下出 %1 条指令!").arg(orders.size()), true);
    // On this thread right before the batch: the recorder links the batch's orders to their lines.
    if (bReceipts)
        emitEndReceipts(changed, RECEIPT_PLACED, placed);
    pService->placeOrders(pStrategy, orders);
}

void CBatchOrderManager::onGlobalKeyEvent(int nKey, int nState)
{
    {
        boost::mutex::scoped_lock lock(m_sequenceMutex);
        // An empty order key (none set, or set to something unparsable) matches no key, not even 0.
        if (m_orderSequence.isEmpty() || QKeySequence(nKey) != m_orderSequence)
            return;
    }
    if (nState != 0)
    {
        BO_LOG_INFO("receive global key state : {0}", nState);
        return;
    }
    if (CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance())
        pChecker->resetTrigger();
    showMsg(MSG_LEVEL_ORDER, QStringLiteral("user batch order !"), true);

    bool bPending = false;
    {
        boost::recursive_mutex::scoped_lock lock(m_mutex);
        bPending = !m_pendingDatas.empty();
    }
    if (bPending)
        m_pStrand->post(guarded([this] { tryOrder(); }));
}

void CBatchOrderManager::slotAutoTrigger()
{
    BO_LOG_INFO("user checker trigger order");
    tryOrder();
}

void CBatchOrderManager::clearPending()
{
    showMsg(MSG_LEVEL_ORDER, QStringLiteral("用户清空当前未处理数据!"), false);
    QVector<boost::shared_ptr<CBatchOrderData>> changed;
    {
        boost::recursive_mutex::scoped_lock lock(m_mutex);
        changed = takePending(2, [](const boost::shared_ptr<CBatchOrderData>&) {});
    }
    if (!changed.isEmpty())
    {
        m_sigNewDatas(changed);
        emitEndReceipts(changed, RECEIPT_CLEARED);
    }
}

void CBatchOrderManager::emitEndReceipts(const QVector<boost::shared_ptr<CBatchOrderData>>& datas,
                                         EBatchOrderReceiptState eState, const QVector<bool>& placed)
{
    if (m_sigReceipts.empty())
        return;
    QVector<CBatchOrderReceipt> receipts;
    receipts.reserve(datas.size());
    int nOrders = 0; // the orders built so far: one per placed record, in their order
    for (int i = 0; i < datas.size(); ++i)
    {
        const boost::shared_ptr<CBatchOrderData>& pData = datas.at(i);
        const bool bPlaced = eState == RECEIPT_PLACED && i < placed.size() && placed.at(i);
        const int nOrder = bPlaced ? nOrders++ : -1;
        // Records taken in while nobody recorded receipts have no line to answer for.
        if (!pData || pData->m_nLine <= 0)
            continue;
        CBatchOrderReceipt receipt = pData->receipt(eState);
        receipt.m_nOrder = nOrder;
        if (eState == RECEIPT_PLACED && !bPlaced)
        {
            receipt.m_eState = RECEIPT_DISPATCH_REJECTED;
            receipt.m_strReason = QStringLiteral("[参数错误] %1!").arg(pData->m_strErrorMsg);
        }
        receipts.push_back(receipt);
    }
    if (!receipts.isEmpty())
        m_sigReceipts(receipts);
}

QVector<boost::shared_ptr<CBatchOrderData>> CBatchOrderManager::takePending(
    int32_t nStatus, const std::function<void(const boost::shared_ptr<CBatchOrderData>&)>& visit)
{
    QVector<boost::shared_ptr<CBatchOrderData>> taken;
    while (!m_pendingDatas.empty())
    {
        boost::shared_ptr<CBatchOrderData> pData = m_pendingDatas.front();
        m_pendingDatas.pop_front();
        visit(pData);
        if (pData)
            pData->m_nStatus = nStatus;
        taken.push_back(pData);
        m_handledDatas.push_back(pData);
    }
    return taken;
}

QVector<boost::shared_ptr<CBatchOrderData>> CBatchOrderManager::getAllDatas() const
{
    boost::recursive_mutex::scoped_lock lock(m_mutex);
    QVector<boost::shared_ptr<CBatchOrderData>> all;
    all.reserve(static_cast<int>(m_pendingDatas.size() + m_handledDatas.size()));
    all.append(QVector<boost::shared_ptr<CBatchOrderData>>(m_pendingDatas.begin(), m_pendingDatas.end()));
    all.append(QVector<boost::shared_ptr<CBatchOrderData>>(m_handledDatas.begin(), m_handledDatas.end()));
    return all;
}

uint64_t CBatchOrderManager::getFrontTimetag() const
{
    boost::recursive_mutex::scoped_lock lock(m_mutex);
    if (!m_pendingDatas.empty() && m_pendingDatas.front())
        return m_pendingDatas.front()->m_nTimetag;
    return UINT64_MAX;
}

} // namespace TC
