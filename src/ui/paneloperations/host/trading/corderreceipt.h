#pragma once

#include <QByteArray>
#include <QString>

namespace TC {

// One row of the journal's receipts table: one step in the life of one instruction line (see
// docs/receipts.md). Texts as they go to the table and the daily receipt file.
struct COrderReceipt
{
    QString m_strAt;     // host local time, yyyy-MM-ddTHH:mm:ss.zzz
    QString m_strSource; // "file" or "socket"
    // Lowercase hex; empty: the journal computes it from m_source, off the dispatch path.
    QString m_strSha256;
    QByteArray m_source;     // the source's bytes as read (shared between the rows of a source)
    qint64 m_nSourceKey = 0; // the source, unique in the process; 0: none (its orders are not linked)
    int m_nOrder = -1;       // a placed receipt handed with its batch: the index of its order there
    int m_nLine = 0;
    QString m_strState;
    qint64 m_nBatchId = -1; // -1: none; the journal fills it for the placed rows of a batch
    QString m_strReason;
    QString m_strText;
    // The instruction file beside which the row's receipt file lies; empty: the journal's receipts
    // directory.
    QString m_strPath;

    // Turns a placed receipt whose batch was not placed into the line's dispatch_rejected one.
    void rejectDispatch(const QString& strReason)
    {
        m_strState = QStringLiteral("dispatch_rejected");
        m_strReason = strReason;
        m_nBatchId = -1;
    }
};

} // namespace TC
