#pragma once

#include "cbatchorderreceipt.h"

#include "trading/corderreceipt.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/connection.hpp>
#include <boost/thread/mutex.hpp>

#include <QString>
#include <QVector>

namespace TC {

class CBatchOrderData;
class CBatchOrderManager;
class COrderJournal;

// Records the manager's receipts in the journal: placed receipts are staged for the batch that the
// dispatching thread places next, whose orders name their lines; all rows are queued without waiting.
// Made, told the watched file and destroyed on the GUI thread; its slot runs on the manager's threads.
class CReceiptRecorder
{
public:
    CReceiptRecorder(CBatchOrderManager& manager, boost::shared_ptr<COrderJournal> pJournal);
    ~CReceiptRecorder();
    CReceiptRecorder(const CReceiptRecorder&) = delete;
    CReceiptRecorder& operator=(const CReceiptRecorder&) = delete;

    // The instruction file whose receipt file also takes the receipts of socket texts.
    void setWatchPath(const QString& strPath);
    // Marks unfinished the lines the previous run left pending; returns how many.
    int markPreviousRunUnfinished();
    // Marks unfinished the records still pending at a stop, and waits until that is committed.
    void markStillPendingUnfinished(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);

private:
    void onReceipts(const QVector<CBatchOrderReceipt>& receipts);
    QString watchPath() const;
    static COrderReceipt toRow(const CBatchOrderReceipt& receipt, const QString& strAt,
                               const QString& strWatchPath);

    boost::shared_ptr<COrderJournal> m_pJournal;
    mutable boost::mutex m_pathMutex; // the watched path: set on the GUI thread, read by the slot
    QString m_strWatchPath;
    boost::signals2::scoped_connection m_connection;
};

} // namespace TC
