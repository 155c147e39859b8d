#include "common/crecordingorderservice.h"

CRecordingOrderService::CRecordingOrderService() : TC::COrderService(nullptr)
{
}

void CRecordingOrderService::placeOrders(const boost::shared_ptr<TC::COrderStrategy>& pStrategy,
                                         const QVector<TC::COrderParam>& orders)
{
    if (!pStrategy)
        return;
    std::unique_lock<std::mutex> lock(m_recordMutex);
    m_batches.push_back(orders);
    blockWhileHeld(lock);
}

void CRecordingOrderService::cancelOrders(const std::vector<std::string>& cancel,
                                          const TC::COrderStrategyParam& param, int nReserved, bool bByNumber)
{
    std::unique_lock<std::mutex> lock(m_recordMutex);
    m_cancels.push_back({cancel, nReserved, bByNumber, param.m_nStrategyNo});
    blockWhileHeld(lock);
}

void CRecordingOrderService::tryOptTasks(const TC::COrderStrategyParam& param,
                                         const std::vector<std::vector<std::string>>& tasks,
                                         const std::vector<int>& params)
{
    std::unique_lock<std::mutex> lock(m_recordMutex);
    m_taskCalls.push_back({tasks, params, param.m_nStrategyNo});
    blockWhileHeld(lock);
}

std::vector<QVector<TC::COrderParam>> CRecordingOrderService::batches() const
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_batches;
}

std::vector<CRecordingOrderService::CCancel> CRecordingOrderService::cancels() const
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_cancels;
}

std::vector<CRecordingOrderService::CTaskCall> CRecordingOrderService::taskCalls() const
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    return m_taskCalls;
}

int CRecordingOrderService::orderCount() const
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    int nCount = 0;
    for (const auto& batch : m_batches)
        nCount += batch.size();
    return nCount;
}

bool CRecordingOrderService::waitForBatches(size_t nCount, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_recordMutex);
    return m_cond.wait_for(lock, timeout, [&] { return m_batches.size() >= nCount; });
}

void CRecordingOrderService::clear()
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    m_batches.clear();
    m_cancels.clear();
    m_taskCalls.clear();
}

void CRecordingOrderService::hold()
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    m_bHeld = true;
}

void CRecordingOrderService::release()
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    m_bHeld = false;
    m_cond.notify_all();
}

bool CRecordingOrderService::waitForHeldCall(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_recordMutex);
    return m_cond.wait_for(lock, timeout, [&] { return m_nBlocked > 0; });
}

void CRecordingOrderService::blockWhileHeld(std::unique_lock<std::mutex>& lock)
{
    ++m_nBlocked;
    m_cond.notify_all();
    m_cond.wait(lock, [&] { return !m_bHeld; });
    --m_nBlocked;
}
