#pragma once

#include "base/cmanualsingletont.h"
#include "trading/corderparam.h"
#include "trading/corderreceipt.h"
#include "trading/corderstrategy.h"
#include "trading/corderstrategyparam.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>

#include <QString>
#include <QVector>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace TC {

class COrderJournal;
class COrderServiceDbfHelper;

// The host order service: the strategy registry and a paper broker that journals everything it is
// handed. Every operation may be called from any thread (GUI, the "batchorder" strand, the smart key
// checker's thread). Operations are virtual so that tests can record calls with a stand-in.
class COrderService
{
public:
    // pJournal may be null: the service then records nothing (used by test stand-ins).
    explicit COrderService(boost::shared_ptr<COrderJournal> pJournal);
    virtual ~COrderService();
    COrderService(const COrderService&) = delete;
    COrderService& operator=(const COrderService&) = delete;

    // Registers (or restarts) the batch order strategy with this number.
    virtual void addBatchOrderStrategy(int nStrategyNo);
    // Stops it; 0 on success, otherwise a code and a reason in strError.
    virtual int stopOrderStrategy(int nStrategyNo, QString& strError);
    virtual bool isStrategyRunning(int nStrategyNo) const;
    // Fills param and returns true while the strategy runs.
    virtual bool getStrategy(int nStrategyNo, COrderStrategyParam& param) const;
    // The running strategy, null when it does not run.
    virtual boost::shared_ptr<COrderStrategy> getStrategyRef(int nStrategyNo) const;

    // Places all orders as one batch through the strategy. The receipts staged on the calling thread
    // link the batch's orders to their lines and are recorded after it; when nothing is placed they
    // are recorded as dispatch_rejected. Returns once the journal has the batch, before it is on the
    // disk; the journal's flush waits for that.
    virtual void placeOrders(const boost::shared_ptr<COrderStrategy>& pStrategy, const QVector<COrderParam>& orders);
    // Cancels one order: strCancel holds code, account, order identifier (UTF-8).
    virtual void cancelOrders(const std::vector<std::string>& cancel, const COrderStrategyParam& param,
                              int nReserved, bool bByNumber);
    // Runs operation tasks: each task is (code, argument); nParams runs parallel to tasks.
    virtual void tryOptTasks(const COrderStrategyParam& param, const std::vector<std::vector<std::string>>& tasks,
                             const std::vector<int>& params);

    COrderServiceDbfHelper* getDbfHelper() const;

    // On the journal's thread, once a batch handed to placeOrders is committed (its id) or could not
    // be (-1).
    boost::signals2::signal<void(int nStrategyNo, qint64 nBatchId, int nOrders)> m_sigBatchJournaled;

    // Stages the placed receipts of the batch that the next placeOrders on this thread places.
    static void stageReceipts(const QVector<COrderReceipt>& placed);

private:
    boost::shared_ptr<COrderJournal> m_pJournal;
    std::unique_ptr<COrderServiceDbfHelper> m_pDbfHelper;
    mutable boost::mutex m_mutex;
    std::map<int, boost::shared_ptr<COrderStrategy>> m_strategies;
};

} // namespace TC

template <>
TC::COrderService* utils::CManualSingletonT<TC::COrderService>::instance();
template <>
void utils::CManualSingletonT<TC::COrderService>::setInstance(TC::COrderService* pInstance);
