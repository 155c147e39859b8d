#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace TC {

// A step in the life of one instruction line, in lifecycle order: taken first, then one outcome, and for
// a pending line one end.
enum EBatchOrderReceiptState
{
    RECEIPT_TAKEN,
    RECEIPT_REJECTED,
    RECEIPT_CANCEL_SENT,
    RECEIPT_TASK_SENT,
    RECEIPT_PENDING,
    RECEIPT_PLACED,
    RECEIPT_DISPATCH_REJECTED,
    RECEIPT_CLEARED,
    RECEIPT_UNFINISHED,
};

enum EBatchOrderReceiptSource
{
    RECEIPT_SOURCE_FILE,   // an instruction file
    RECEIPT_SOURCE_SOCKET, // a "BatchOrder:" text
};

// One answer about one instruction line, handed by the manager to whoever records receipts. A value
// type: copies share their texts and bytes. The manager does no more than bookkeeping on the way from
// file to dispatch: the recorder digests the source's bytes, once per source, off that way.
struct CBatchOrderReceipt
{
    EBatchOrderReceiptState m_eState = RECEIPT_TAKEN;
    EBatchOrderReceiptSource m_eSource = RECEIPT_SOURCE_FILE;
    QByteArray m_source;      // the file's bytes as read (BOM included), or the text's UTF-8 bytes
    int64_t m_nSourceKey = 0; // the file or text, unique in the process and above 0: links lines to orders
    int32_t m_nLine = 0;      // 1-based physical line
    int32_t m_nOrder = -1;    // placed: the index of the line's order in the batch placed next
    QString m_strText;        // the line as read, on taken receipts
    QString m_strReason;      // the console text of a refusal, or why a line stayed unfinished
    int64_t m_nBatchId = -1;  // filled by the host for placed receipts
    QString m_strInstructionPath; // the instruction file the line came from; empty for a text

    static const char* stateName(EBatchOrderReceiptState eState)
    {
        switch (eState) {
        case RECEIPT_TAKEN:
            return "taken";
        case RECEIPT_REJECTED:
            return "rejected";
        case RECEIPT_CANCEL_SENT:
            return "cancel_sent";
        case RECEIPT_TASK_SENT:
            return "task_sent";
        case RECEIPT_PENDING:
            return "pending";
        case RECEIPT_PLACED:
            return "placed";
        case RECEIPT_DISPATCH_REJECTED:
            return "dispatch_rejected";
        case RECEIPT_CLEARED:
            return "cleared";
        case RECEIPT_UNFINISHED:
            return "unfinished";
        }
        return "";
    }

    static const char* sourceName(EBatchOrderReceiptSource eSource)
    {
        return eSource == RECEIPT_SOURCE_SOCKET ? "socket" : "file";
    }
};

} // namespace TC
