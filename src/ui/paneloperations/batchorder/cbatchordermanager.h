#pragma once

#include "batchorder_export.h"
#include "cbatchordermessagedata.h"
#include "cbatchorderreceipt.h"

#include <boost/asio/io_service.hpp>
#include <boost/asio/strand.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include <QByteArray>
#include <QKeySequence>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>

namespace TC {

class CBatchOrderData;
class CBatchOrderFileMonitor;
class CBatchOrderBackupWriter;
class CBatchOrderHelper;
class CBatchOrderMessageModel;

// The batch order workflow: settings, monitoring start and stop, the pending queue, the triggers and
// the dispatch to the host order service. One instance per process, installed by the host.
// Threads: startFileMonitor, stopFileMonitor, setOrderSequence, clearPending and getAllDatas on the GUI
// thread; onCsvFileRead on the reader thread; intake on the "batchorder" strand; onGlobalKeyEvent on the
// host's key thread; slotAutoTrigger and getFrontTimetag on the smart key checker's thread; tryOrder on
// the GUI thread, the strand or the checker's thread; showMsg anywhere. The destructor may run while work
// from those threads is under way: it waits for that work and turns work still queued into nothing.
class BATCHORDER_EXPORT CBatchOrderManager
{
public:
    static CBatchOrderManager* instance();
    static void initInstance(CBatchOrderManager* p);

    ~CBatchOrderManager();
    CBatchOrderManager(const CBatchOrderManager&) = delete;
    CBatchOrderManager& operator=(const CBatchOrderManager&) = delete;

    void startFileMonitor(const QString& strPath);
    void stopFileMonitor();
    // Instruction files larger than this are left aside unread (0: the reader's default). GUI thread.
    void setMaxFileSize(int64_t nBytes);
    void setOrderSequence(const QKeySequence& sequence);

    boost::shared_ptr<CBatchOrderMessageModel> getConsoleModel();
    void showMsg(EBatchOrderMsgLevel eLevel, const QString& strMsg, bool bLog);

    void tryOrder();
    bool shortcutOrder(const QString& strText);
    void clearPending();
    QVector<boost::shared_ptr<CBatchOrderData>> getAllDatas() const;
    uint64_t getFrontTimetag() const;

    boost::signals2::signal<void(const QVector<boost::shared_ptr<CBatchOrderData>>&)> m_sigNewDatas;
    // Receipts for instruction lines, built only while a slot is connected: the taken and outcome
    // receipts of a file or text on the strand, under the queue's lock, before its orders can be
    // dispatched; the placed and dispatch_rejected ones on the dispatching thread right before
    // placeOrders (or instead of it when nothing is placed); cleared ones on the clearing thread.
    boost::signals2::signal<void(const QVector<CBatchOrderReceipt>&)> m_sigReceipts;

    static CBatchOrderManager* m_pInstance;

private:
    struct CTaskGuard;

    CBatchOrderManager();
    void init();
    // Cuts every way in which other threads reach this manager and waits for the work under way on it.
    void unwire();
    // The task, made to run only while this manager lives.
    std::function<void()> guarded(std::function<void()> task) const;

    void onCsvFileRead(const QStringList& lines);
    void onGlobalKeyEvent(int nKey, int nState);
    void slotAutoTrigger();
    // True when the accepted records are in the backup file (or there were none).
    // source holds the file's bytes as read, or the text's UTF-8 bytes, when receipts are recorded.
    bool intake(const QStringList& lines, bool bShortcut, const QByteArray& source = QByteArray(),
                const QString& strSourcePath = QString());
    // The end receipts of records that left the queue.
    void emitEndReceipts(const QVector<boost::shared_ptr<CBatchOrderData>>& datas,
                         EBatchOrderReceiptState eState, const QVector<bool>& placed = QVector<bool>());
    bool saveToFile(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);
    void releaseTakenFile(const QString& strTaken, bool bBackedUp);
    // Moves every pending record, oldest first, behind the handled ones with the given status, after
    // handing it to visit; returns them in that order. The caller holds m_mutex.
    QVector<boost::shared_ptr<CBatchOrderData>> takePending(
        int32_t nStatus, const std::function<void(const boost::shared_ptr<CBatchOrderData>&)>& visit);

    // Shared with the tasks and slots that reach this manager from other threads.
    std::shared_ptr<CTaskGuard> m_pTaskGuard;
    mutable boost::recursive_mutex m_mutex;
    boost::shared_ptr<boost::asio::io_service::strand> m_pStrand;
    std::unique_ptr<CBatchOrderFileMonitor> m_pFileMonitor;
    std::unique_ptr<CBatchOrderBackupWriter> m_pBackupWriter;
    std::unique_ptr<CBatchOrderHelper> m_pHelper;
    boost::shared_ptr<CBatchOrderMessageModel> m_pConsoleModel;
    std::list<boost::signals2::scoped_connection> m_connections;
    QKeySequence m_orderSequence;
    mutable boost::mutex m_sequenceMutex; // the key thread reads the order key the GUI thread sets
    std::list<boost::shared_ptr<CBatchOrderData>> m_pendingDatas;
    std::list<boost::shared_ptr<CBatchOrderData>> m_handledDatas;
    std::atomic<int64_t> m_nMaxFileSize{0};
};

} // namespace TC
