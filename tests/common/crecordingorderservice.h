#pragma once

#include "trading/corderservice.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

// An order service that keeps what it is handed in memory instead of a journal, for tests that check
// the calls themselves. The strategy registry is the real one.
class CRecordingOrderService : public TC::COrderService
{
public:
    struct CCancel
    {
        std::vector<std::string> m_fields;
        int m_nReserved;
        bool m_bByNumber;
        int m_nStrategyNo;
    };
    struct CTaskCall
    {
        std::vector<std::vector<std::string>> m_tasks;
        std::vector<int> m_params;
        int m_nStrategyNo;
    };

    CRecordingOrderService();

    void placeOrders(const boost::shared_ptr<TC::COrderStrategy>& pStrategy,
                     const QVector<TC::COrderParam>& orders) override;
    void cancelOrders(const std::vector<std::string>& cancel, const TC::COrderStrategyParam& param,
                      int nReserved, bool bByNumber) override;
    void tryOptTasks(const TC::COrderStrategyParam& param, const std::vector<std::vector<std::string>>& tasks,
                     const std::vector<int>& params) override;

    std::vector<QVector<TC::COrderParam>> batches() const;
    std::vector<CCancel> cancels() const;
    std::vector<CTaskCall> taskCalls() const;
    // Total number of orders over all batches.
    int orderCount() const;
    bool waitForBatches(size_t nCount, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    void clear();

    // While held, every call is recorded and then blocks its caller until release(): a test can stop an
    // intake half-way through a cancel, with the manager's lock held.
    void hold();
    void release();
    // Waits until a caller blocks in a held call; false on time-out.
    bool waitForHeldCall(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    // Called with m_recordMutex held, after the call was recorded.
    void blockWhileHeld(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_recordMutex;
    mutable std::condition_variable m_cond;
    std::vector<QVector<TC::COrderParam>> m_batches;
    std::vector<CCancel> m_cancels;
    std::vector<CTaskCall> m_taskCalls;
    bool m_bHeld = false;
    int m_nBlocked = 0;
};
