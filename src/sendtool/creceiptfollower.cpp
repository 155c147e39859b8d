#include "creceiptfollower.h"

#include "ccsvrecords.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace TC {

namespace {

// time,source,sha256,line,state,batch_id,reason,text
enum EColumn
{
    COLUMN_SOURCE = 1,
    COLUMN_SHA256,
    COLUMN_LINE,
    COLUMN_STATE,
    COLUMN_BATCH_ID,
    COLUMN_REASON,
    COLUMN_TEXT,
    COLUMN_COUNT,
};

} // namespace

CReceiptFollower::CReceiptFollower(const QString& strInstructionPath, const QByteArray& fileBytes)
    : m_strInstructionPath(strInstructionPath),
      m_sha256(QCryptographicHash::hash(fileBytes, QCryptographicHash::Sha256).toHex())
{
}

QString CReceiptFollower::receiptPath(const QString& strInstructionPath, const QDate& date)
{
    // "orders.csv" and "orders" both give "orders_receipts_<date>.csv"; only the last suffix goes, as
    // the host names it.
    const QString strFile =
        QStringLiteral("%1_receipts_%2.csv")
            .arg(QFileInfo(strInstructionPath).completeBaseName(), date.toString(QStringLiteral("yyyyMMdd")));
    const int nSlash = strInstructionPath.lastIndexOf(QLatin1Char('/'));
    return nSlash < 0 ? strFile : strInstructionPath.left(nSlash + 1) + strFile;
}

void CReceiptFollower::start(const QDate& today)
{
    m_startDay = today;
    m_lastDay = today;
    m_offsets.clear();
    m_offsets[today] = QFileInfo(receiptPath(m_strInstructionPath, today)).size();
}

std::vector<CReceipt> CReceiptFollower::poll(const QDate& today)
{
    std::vector<CReceipt> receipts;
    // A clock set back leaves the days already followed as they are.
    if (today > m_lastDay)
        m_lastDay = today;
    for (QDate day = m_startDay; day <= m_lastDay; day = day.addDays(1))
        readNew(day, receipts);
    return receipts;
}

void CReceiptFollower::readNew(const QDate& day, std::vector<CReceipt>& receipts)
{
    QFile file(receiptPath(m_strInstructionPath, day));
    qint64& nOffset = m_offsets[day];
    const qint64 nSize = file.size();
    // A file that shrank was made anew since the last look: all of it is new.
    if (nSize < nOffset)
        nOffset = 0;
    if (nSize == nOffset)
        return;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(nOffset)) {
        m_strReadError = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
        return;
    }
    m_strReadError.clear();
    const QByteArray data = file.readAll();
    std::vector<QStringList> records;
    nOffset += CCsvRecords::parse(data, records);
    const QString strSha256 = QString::fromLatin1(m_sha256);
    for (const QStringList& record : records) {
        // The header and socket texts with the same bytes are not the file's.
        if (record.size() < COLUMN_COUNT || record[COLUMN_SHA256] != strSha256 ||
            record[COLUMN_SOURCE] != QLatin1String("file"))
            continue;
        bool bNumber = false;
        CReceipt receipt;
        receipt.m_nLine = record[COLUMN_LINE].toInt(&bNumber);
        if (!bNumber)
            continue;
        receipt.m_strState = record[COLUMN_STATE];
        receipt.m_strBatchId = record[COLUMN_BATCH_ID];
        receipt.m_strReason = record[COLUMN_REASON];
        receipt.m_strText = record[COLUMN_TEXT];
        receipts.push_back(receipt);
    }
}

} // namespace TC
