#include "creceiptrecorder.h"

#include "cbatchorderdata.h"
#include "cbatchordermanager.h"

#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include <QDateTime>

namespace TC {

namespace {

// The names as shared texts: converted once per process, not once per row.
QString stateText(EBatchOrderReceiptState eState)
{
    static const QString s_names[] = {
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_TAKEN)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_REJECTED)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_CANCEL_SENT)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_TASK_SENT)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_PENDING)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_PLACED)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_DISPATCH_REJECTED)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_CLEARED)),
        QString::fromLatin1(CBatchOrderReceipt::stateName(RECEIPT_UNFINISHED)),
    };
    return s_names[eState];
}

QString sourceText(EBatchOrderReceiptSource eSource)
{
    static const QString s_file = QString::fromLatin1(CBatchOrderReceipt::sourceName(RECEIPT_SOURCE_FILE));
    static const QString s_socket =
        QString::fromLatin1(CBatchOrderReceipt::sourceName(RECEIPT_SOURCE_SOCKET));
    return eSource == RECEIPT_SOURCE_SOCKET ? s_socket : s_file;
}

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

} // namespace

CReceiptRecorder::CReceiptRecorder(CBatchOrderManager& manager, boost::shared_ptr<COrderJournal> pJournal)
    : m_pJournal(std::move(pJournal))
{
    m_connection = manager.m_sigReceipts.connect(
        [this](const QVector<CBatchOrderReceipt>& receipts) { onReceipts(receipts); });
}

CReceiptRecorder::~CReceiptRecorder() = default;

void CReceiptRecorder::setWatchPath(const QString& strPath)
{
    boost::mutex::scoped_lock lock(m_pathMutex);
    m_strWatchPath = strPath;
}

QString CReceiptRecorder::watchPath() const
{
    boost::mutex::scoped_lock lock(m_pathMutex);
    return m_strWatchPath;
}

COrderReceipt CReceiptRecorder::toRow(const CBatchOrderReceipt& receipt, const QString& strAt,
                                      const QString& strWatchPath)
{
    COrderReceipt row;
    row.m_strAt = strAt;
    row.m_strSource = sourceText(receipt.m_eSource);
    row.m_source = receipt.m_source;
    row.m_nSourceKey = receipt.m_nSourceKey;
    row.m_nOrder = receipt.m_nOrder;
    row.m_nLine = receipt.m_nLine;
    row.m_strState = stateText(receipt.m_eState);
    row.m_nBatchId = receipt.m_nBatchId;
    row.m_strReason = receipt.m_strReason;
    row.m_strText = receipt.m_strText;
    row.m_strPath = receipt.m_strInstructionPath.isEmpty() ? strWatchPath : receipt.m_strInstructionPath;
    return row;
}

void CReceiptRecorder::onReceipts(const QVector<CBatchOrderReceipt>& receipts)
{
    const QString strAt = now();
    const QString strWatchPath = watchPath();
    QVector<COrderReceipt> placed;
    bool bOthers = false;
    for (const CBatchOrderReceipt& receipt : receipts)
    {
        if (receipt.m_eState == RECEIPT_PLACED)
            placed.push_back(toRow(receipt, strAt, strWatchPath));
        else
            bOthers = true;
    }
    // The refused lines of a dispatch first: they come before the batch in the table, as on the console.
    // Converted on the journal's thread: a file's taken and pending rows are most of its rows.
    if (bOthers)
    {
        m_pJournal->recordReceipts([receipts, strAt, strWatchPath] {
            QVector<COrderReceipt> rows;
            rows.reserve(receipts.size());
            for (const CBatchOrderReceipt& receipt : receipts)
            {
                if (receipt.m_eState != RECEIPT_PLACED)
                    rows.push_back(toRow(receipt, strAt, strWatchPath));
            }
            return rows;
        });
    }
    if (!placed.isEmpty())
        COrderService::stageReceipts(placed);
}

int CReceiptRecorder::markPreviousRunUnfinished()
{
    return m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended"));
}

void CReceiptRecorder::markStillPendingUnfinished(const QVector<boost::shared_ptr<CBatchOrderData>>& datas)
{
    const QString strAt = now();
    const QString strWatchPath = watchPath();
    QVector<COrderReceipt> rows;
    for (const boost::shared_ptr<CBatchOrderData>& pData : datas)
    {
        if (!pData || pData->m_nStatus != 0 || pData->m_nLine <= 0)
            continue;
        CBatchOrderReceipt receipt = pData->receipt(RECEIPT_UNFINISHED);
        receipt.m_strReason = QStringLiteral("host stopped");
        rows.push_back(toRow(receipt, strAt, strWatchPath));
    }
    m_pJournal->recordReceipts(rows);
    m_pJournal->flush();
}

} // namespace TC
