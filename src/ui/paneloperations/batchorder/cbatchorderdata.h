#pragma once

#include "cbatchorderreceipt.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <string>

namespace TC {

// One instruction line as a record. parse() reads the CSV columns, rejects stale and malformed lines
// (with a console message), and executes cancel and operation-task lines on the spot.
// parse() is not thread-safe (it advances the module-wide sequence counter): the manager calls it only
// on its strand while holding its mutex.
class CBatchOrderData
{
public:
    CBatchOrderData() = default;
    explicit CBatchOrderData(const QString& strLine);

    bool parse(const QString& strLine);

    QStringList toStringList() const;
    QString toString() const;
    std::string toStdString() const;
    static QStringList columnNames();

    int32_t m_nSeq = -1;
    QString m_strOrderType = QStringLiteral("-1");
    uint64_t m_nVolume = UINT64_MAX;
    uint64_t m_nTimetag = UINT64_MAX;
    QString m_strModePrice;
    QString m_strStockCode;
    QString m_strAccountId;
    QString m_strActType;
    QString m_strBrokerType;
    QString m_strStrategy;
    QString m_strNote;
    QString m_strNote1;
    QString m_strTradeParam;
    QString m_strVolume;
    QString m_strBasketPath;
    QString m_strInsertTime;
    QString m_strExtraParam;
    QString m_strPriceType;
    QString m_strOrigActType;
    QString m_strErrorMsg; // the console text of the last refusal (parse or order building)
    // Where the line came from, for its receipts: filled by the manager only when receipts are recorded.
    int32_t m_nLine = 0;
    EBatchOrderReceiptSource m_eSource = RECEIPT_SOURCE_FILE;
    QByteArray m_source;      // the file's bytes as read or the text's UTF-8 bytes, shared by its records
    int64_t m_nSourceKey = 0; // the source, unique in the process (see CBatchOrderReceipt)
    QString m_strSourcePath;
    // A receipt in the given state for this record's line.
    CBatchOrderReceipt receipt(EBatchOrderReceiptState eState) const
    {
        CBatchOrderReceipt result;
        result.m_eState = eState;
        result.m_eSource = m_eSource;
        result.m_source = m_source;
        result.m_nSourceKey = m_nSourceKey;
        result.m_nLine = m_nLine;
        result.m_strInstructionPath = m_strSourcePath;
        return result;
    }
    // 0 pending, 1 dispatched, 2 cleared, 4 cancel executed, 5 task executed. Atomic: the panels read it
    // on the thread that announces records while a trigger may be changing it on another.
    std::atomic<int32_t> m_nStatus{0};

private:
    // Test seam: the wall clock in whole seconds that the INSERTTIME check reads (std::time when null),
    // so that a test can pin the 60-second boundary instead of racing the second hand.
    friend class CBatchOrderDataClockOverride;
    static inline int64_t (*m_pfnWallClock)() = nullptr;
};

} // namespace TC
