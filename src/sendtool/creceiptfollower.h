#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <map>
#include <vector>

namespace TC {

// One row of the host's receipt file that concerns the followed instruction file.
struct CReceipt
{
    int m_nLine = 0; // physical line of the instruction file, from 1
    QString m_strState;
    QString m_strBatchId;
    QString m_strReason;
    QString m_strText;
};

// Reads the receipts the host appends for one delivered instruction file, identified by the SHA-256 of
// its bytes, from the daily receipt files beside the instruction file. Only rows appended after start()
// count: the same bytes sent earlier have receipts of their own. Called from one thread.
class CReceiptFollower
{
public:
    CReceiptFollower(const QString& strInstructionPath, const QByteArray& fileBytes);

    // The receipt file the host writes on that (local) date for the instruction file.
    static QString receiptPath(const QString& strInstructionPath, const QDate& date);

    // Remembers where today's receipt file ends; to be called just before the file is delivered.
    void start(const QDate& today);

    // The rows for the followed file appended since the last look, in file order, from the start day's
    // receipt file and those of the days after it up to today. A row still being written is read on a
    // later look.
    std::vector<CReceipt> poll(const QDate& today);

    const QByteArray& sha256() const { return m_sha256; }
    QString currentPath() const { return receiptPath(m_strInstructionPath, m_lastDay); }
    // Why the last receipt file that exists could not be read (a host of another user), or empty.
    const QString& readError() const { return m_strReadError; }

private:
    void readNew(const QDate& day, std::vector<CReceipt>& receipts);

    QString m_strInstructionPath;
    QByteArray m_sha256; // lowercase hex, as in the sha256 column
    QDate m_startDay;
    QDate m_lastDay;
    std::map<QDate, qint64> m_offsets; // per day: where the rows not read yet begin
    QString m_strReadError;
};

} // namespace TC
