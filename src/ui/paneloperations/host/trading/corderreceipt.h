#pragma once

#include <QString>

namespace TC {

// One row of the journal's receipts table: one step in the life of one instruction line (see
// docs/receipts.md). Texts as they go to the table and the daily receipt file.
struct COrderReceipt
{
    QString m_strAt;     // host local time, yyyy-MM-ddTHH:mm:ss.zzz
    QString m_strSource; // "file" or "socket"
    QString m_strSha256;
    int m_nLine = 0;
    QString m_strState;
    qint64 m_nBatchId = -1; // -1: none; the journal fills it for the rows committed with a batch
    QString m_strReason;
    QString m_strText;
    // The instruction file beside which the row's receipt file lies; empty: the journal's receipts
    // directory.
    QString m_strPath;
};

} // namespace TC
