#include "trading/corderservice.h"

#include "base/clogger.h"
#include "trading/corderjournal.h"
#include "trading/corderservicedbfhelper.h"

#include <boost/make_shared.hpp>

#include <fmt/format.h>

#include <atomic>

namespace {

std::atomic<TC::COrderService*> s_pOrderService{nullptr};

const char* const s_pBatchOrderStrategyName = "batch order";

// Placed receipts on their way from the dispatching thread's receipt slot to its placeOrders call.
thread_local QVector<TC::COrderReceipt> t_stagedReceipts;

// Codes of stopOrderStrategy.
const int s_nStrategyNotRegistered = 1;
const int s_nStrategyAlreadyStopped = 2;

// Values of a cancel or task from index nFrom on, for log lines about what was not kept.
std::string joinValues(const std::vector<std::string>& values, size_t nFrom)
{
    std::string strJoined;
    for (size_t i = nFrom; i < values.size(); ++i)
    {
        strJoined += (i == nFrom ? "" : ",") + values[i];
    }
    return strJoined;
}

} // namespace

template <>
TC::COrderService* utils::CManualSingletonT<TC::COrderService>::instance()
{
    return s_pOrderService.load();
}

template <>
void utils::CManualSingletonT<TC::COrderService>::setInstance(TC::COrderService* pInstance)
{
    s_pOrderService.store(pInstance);
}

namespace TC {

COrderService::COrderService(boost::shared_ptr<COrderJournal> pJournal)
    : m_pJournal(std::move(pJournal))
    , m_pDbfHelper(std::make_unique<COrderServiceDbfHelper>())
{
}

COrderService::~COrderService()
{
    // The batches handed over report back to this object.
    if (m_pJournal)
    {
        m_pJournal->flush();
    }
}

COrderServiceDbfHelper* COrderService::getDbfHelper() const
{
    return m_pDbfHelper.get();
}

void COrderService::addBatchOrderStrategy(int nStrategyNo)
{
    bool bRestarted = false;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        boost::shared_ptr<COrderStrategy>& pStrategy = m_strategies[nStrategyNo];
        if (pStrategy)
        {
            // Callers that kept the object from an earlier start see it running again.
            bRestarted = !pStrategy->isRunning();
            pStrategy->setRunning(true);
        }
        else
        {
            COrderStrategyParam param;
            param.m_nStrategyNo = nStrategyNo;
            param.m_strName = QString::fromLatin1(s_pBatchOrderStrategyName);
            pStrategy = boost::make_shared<COrderStrategy>(param);
            bRestarted = true;
        }
    }
    LOG4CXX_INFO(g_TTStdLogger,
                 fmt::format("order strategy {0} ({1}) {2}", nStrategyNo, s_pBatchOrderStrategyName,
                             bRestarted ? "started" : "already running"));
}

int COrderService::stopOrderStrategy(int nStrategyNo, QString& strError)
{
    int nCode = 0;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        const auto it = m_strategies.find(nStrategyNo);
        if (it == m_strategies.end())
        {
            nCode = s_nStrategyNotRegistered;
            strError = QStringLiteral("strategy %1 is not registered").arg(nStrategyNo);
        }
        else if (!it->second->isRunning())
        {
            nCode = s_nStrategyAlreadyStopped;
            strError = QStringLiteral("strategy %1 is already stopped").arg(nStrategyNo);
        }
        else
        {
            it->second->setRunning(false);
        }
    }
    if (nCode == 0)
    {
        LOG4CXX_INFO(g_TTStdLogger, fmt::format("order strategy {0} stopped", nStrategyNo));
    }
    else
    {
        LOG4CXX_INFO(g_TTStdLogger, fmt::format("stop of order strategy {0} refused: {1}", nStrategyNo,
                                                strError.toStdString()));
    }
    return nCode;
}

bool COrderService::isStrategyRunning(int nStrategyNo) const
{
    return getStrategyRef(nStrategyNo) != nullptr;
}

bool COrderService::getStrategy(int nStrategyNo, COrderStrategyParam& param) const
{
    const boost::shared_ptr<COrderStrategy> pStrategy = getStrategyRef(nStrategyNo);
    if (!pStrategy)
    {
        return false;
    }
    param = pStrategy->param();
    return true;
}

boost::shared_ptr<COrderStrategy> COrderService::getStrategyRef(int nStrategyNo) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    const auto it = m_strategies.find(nStrategyNo);
    if (it == m_strategies.end() || !it->second->isRunning())
    {
        return boost::shared_ptr<COrderStrategy>();
    }
    return it->second;
}

void COrderService::stageReceipts(const QVector<COrderReceipt>& placed)
{
    t_stagedReceipts += placed;
}

void COrderService::placeOrders(const boost::shared_ptr<COrderStrategy>& pStrategy,
                                const QVector<COrderParam>& orders)
{
    QVector<COrderReceipt> placed;
    placed.swap(t_stagedReceipts);
    // Whatever keeps the batch from the journal keeps its lines from being placed: their receipts say so.
    // Once the journal has the batch, it answers for them.
    struct CRejectUnplaced
    {
        COrderJournal* m_pJournal;
        QVector<COrderReceipt>& m_placed;
        QString m_strReason = QStringLiteral("批量下单策略已停止, 未下出!");
        bool m_bHandedOver = false;
        ~CRejectUnplaced()
        {
            if (m_bHandedOver || m_placed.isEmpty() || !m_pJournal)
                return;
            for (COrderReceipt& receipt : m_placed)
                receipt.rejectDispatch(m_strReason);
            m_pJournal->recordReceipts(m_placed);
        }
    } reject{m_pJournal.get(), placed};
    if (!pStrategy)
    {
        LOG4CXX_ERROR(
            g_TTStdLogger,
            fmt::format("placeOrders refused: no strategy given; {0} orders not placed", orders.size()));
        return;
    }
    // The caller looked the strategy up earlier; it may have been stopped since.
    if (!pStrategy->isRunning())
    {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("placeOrders refused: strategy {0} is stopped; {1} orders not "
                                  "placed",
                                  pStrategy->number(), orders.size()));
        return;
    }
    if (orders.isEmpty())
    {
        LOG4CXX_INFO(g_TTStdLogger, fmt::format("placeOrders strategy {0}: empty batch, nothing placed",
                                                pStrategy->number()));
        return;
    }

    int nSingles = 0;
    for (const COrderParam& order : orders)
    {
        nSingles += order.m_singleParams.size();
    }
    const int nStrategyNo = pStrategy->number();
    if (!m_pJournal)
    {
        LOG4CXX_INFO(g_TTStdLogger,
                     fmt::format("placeOrders strategy {0}: {1} orders, {2} single orders (no journal)",
                                 nStrategyNo, orders.size(), nSingles));
        return;
    }
    // The caller does not wait for the disk: the journal writes the batch on its own thread, in its
    // order among the records, and reports a failure itself (console, dispatch_rejected receipts).
    const int nOrders = orders.size();
    reject.m_bHandedOver = m_pJournal->postBatch(
        nStrategyNo, orders, placed, [this, nStrategyNo, nOrders, nSingles](qint64 nBatchId) {
            if (nBatchId < 0)
            {
                LOG4CXX_ERROR(g_TTStdLogger,
                              fmt::format("placeOrders strategy {0}: batch of {1} orders could not be "
                                          "journaled, nothing placed",
                                          nStrategyNo, nOrders));
            }
            else
            {
                LOG4CXX_INFO(g_TTStdLogger,
                             fmt::format("placeOrders strategy {0}: batch {1}, {2} orders, {3} single orders",
                                         nStrategyNo, nBatchId, nOrders, nSingles));
            }
            m_sigBatchJournaled(nStrategyNo, nBatchId, nOrders);
        });
    if (!reject.m_bHandedOver)
        reject.m_strReason = QStringLiteral("委托日志写入失败, 未下出!");
}

void COrderService::cancelOrders(const std::vector<std::string>& cancel, const COrderStrategyParam& param,
                                 int nReserved, bool bByNumber)
{
    (void)nReserved;
    if (cancel.size() < 3)
    {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("cancelOrders strategy {0} refused: expected code, account and "
                                  "order id, got {1} value(s) [{2}]",
                                  param.m_nStrategyNo, cancel.size(), joinValues(cancel, 0)));
        return;
    }
    if (cancel.size() > 3)
    {
        LOG4CXX_WARN(g_TTStdLogger,
                     fmt::format("cancelOrders strategy {0}: values after the order id not kept: [{1}]",
                                 param.m_nStrategyNo, joinValues(cancel, 3)));
    }
    if (m_pJournal && !m_pJournal->recordCancel(cancel[0], cancel[1], cancel[2], bByNumber))
    {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("cancelOrders strategy {0}: cancel {1} of order {2} (account {3}) "
                                  "could not be journaled",
                                  param.m_nStrategyNo, cancel[0], cancel[2], cancel[1]));
        return;
    }
    LOG4CXX_INFO(g_TTStdLogger,
                 fmt::format("cancelOrders strategy {0}: {1} account {2} order {3}{4}", param.m_nStrategyNo,
                             cancel[0], cancel[1], cancel[2], bByNumber ? " by number" : ""));
}

void COrderService::tryOptTasks(const COrderStrategyParam& param,
                                const std::vector<std::vector<std::string>>& tasks,
                                const std::vector<int>& params)
{
    if (params.size() != tasks.size())
    {
        LOG4CXX_WARN(g_TTStdLogger, fmt::format("tryOptTasks strategy {0}: {1} tasks but {2} parameters",
                                                param.m_nStrategyNo, tasks.size(), params.size()));
    }
    for (size_t i = 0; i < tasks.size(); ++i)
    {
        const std::vector<std::string>& task = tasks[i];
        if (task.empty())
        {
            LOG4CXX_ERROR(g_TTStdLogger,
                          fmt::format("tryOptTasks strategy {0}: task {1} has no code, skipped",
                                      param.m_nStrategyNo, i));
            continue;
        }
        const std::string strArgument = task.size() > 1 ? task[1] : std::string();
        if (task.size() != 2)
        {
            LOG4CXX_WARN(g_TTStdLogger,
                         fmt::format("tryOptTasks strategy {0}: task {1} has {2} values instead of "
                                     "code and argument; extra values not kept: [{3}]",
                                     param.m_nStrategyNo, task[0], task.size(), joinValues(task, 2)));
        }
        if (m_pJournal && !m_pJournal->recordTask(task[0], strArgument))
        {
            LOG4CXX_ERROR(g_TTStdLogger, fmt::format("tryOptTasks strategy {0}: task {1} ({2}) could not be "
                                                     "journaled",
                                                     param.m_nStrategyNo, task[0], strArgument));
            continue;
        }
        LOG4CXX_INFO(g_TTStdLogger, fmt::format("tryOptTasks strategy {0}: {1} argument {2}",
                                                param.m_nStrategyNo, task[0], strArgument));
    }
}

} // namespace TC
