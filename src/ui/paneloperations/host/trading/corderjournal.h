#pragma once

#include "trading/corderparam.h"
#include "trading/corderreceipt.h"

#include <boost/signals2/signal.hpp>

#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

namespace TC {

// The paper broker's journal: every order batch, cancel and task the order service is handed, in
// SQLite. All SQL runs on one thread of the journal's own, which writes the records of all callers in
// the order they came. Callers on any thread block until their record is committed, except for a
// batch handed over with postBatch. Outside tools read the tables, so their names and columns are
// stable.
class COrderJournal
{
public:
    // Defined out of line: the worker is an incomplete type here.
    COrderJournal();
    ~COrderJournal();
    COrderJournal(const COrderJournal&) = delete;
    COrderJournal& operator=(const COrderJournal&) = delete;

    // Opens (creating if needed) the database. False with a reason naming the file on failure.
    bool open(const QString& strDbPath, QString& strError);
    void close();

    enum ERecord
    {
        RECORD_BATCH,
        RECORD_CANCEL,
        RECORD_TASK,
        RECORD_RECEIPTS,
    };
    // Announces each record that could not be written (the reason is in the log): its kind and how many
    // orders it held (1 for a cancel or a task). Cancels and tasks are announced on the recording
    // thread, batches on the journal's thread unless the journal is not open. Receipts that could not
    // be written are announced on the journal's thread, once per spell of failures, with how many rows.
    boost::signals2::signal<void(ERecord eRecord, int nCount)> m_sigRecordFailed;

    // One batch in one transaction; returns its batch id, or -1 when it could not be written. Each
    // order named by a placed receipt (its m_nOrder) is linked in the orders table to the receipt's
    // line in the same transaction; the placed receipts themselves are queued after the commit, with
    // the batch id, like those of recordReceipts. The placed receipts of a batch not written are
    // queued as dispatch_rejected instead.
    qint64 recordBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                       const QVector<COrderReceipt>& placed = QVector<COrderReceipt>());
    // The same without waiting: the batch is written behind the records queued so far, then done (if
    // any) is called on the journal's thread with what recordBatch would have returned. False, done not
    // called, when the batch is refused at once (the journal is not open, the batch is empty).
    bool postBatch(int nStrategyNo, const QVector<COrderParam>& orders, const QVector<COrderReceipt>& placed,
                   std::function<void(qint64)> done);
    bool recordCancel(const std::string& strCode, const std::string& strAccount, const std::string& strOrderId,
                      bool bByNumber);
    bool recordTask(const std::string& strCode, const std::string& strArgument);

    // Receipt files of rows without an instruction file go to this directory. Call after open().
    void setReceiptsDir(const QString& strDir);
    // Queues receipt rows behind the receipt rows queued so far and returns at once. They are written
    // when no batch, cancel or task waits, many to a transaction, then appended to their receipt files.
    void recordReceipts(const QVector<COrderReceipt>& receipts);
    // The same for rows that make makes on the journal's thread, in their place in the queue: the
    // caller spares itself their conversion. make must not refer to anything the caller may destroy.
    void recordReceipts(std::function<QVector<COrderReceipt>()> make);
    // Returns once everything queued so far, batches included, is committed. close() waits for the same.
    void flush();
    // Writes an unfinished receipt with the reason for each line still pending in the journal (a line
    // sent twice and pending twice: two rows), for the start after a run that ended without placing
    // them; returns how many. A pending line that an orders row links to was placed: it gets its
    // placed receipt instead, uncounted. Rows it looked at are not looked at again by the next start.
    int finishOpenReceipts(const QString& strReason);

private:
    class CWorker;
    // Logs and announces a batch that is not even queued; the caller holds m_lifeMutex.
    bool refuseBatch(int nStrategyNo, int nOrders) const;
    // Returns once everything queued so far is written; the caller holds m_lifeMutex and a worker.
    void drain();
    // open/close take it exclusively, the record calls shared, so a close waits for calls in flight.
    mutable std::shared_mutex m_lifeMutex;
    std::unique_ptr<CWorker> m_pWorker;
};

} // namespace TC
