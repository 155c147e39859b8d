#pragma once

#include "ui/ibasehpftabledata.h"

#include <QString>

#include <string>

namespace TC {

// One line of the journal view: an order, a cancel or an operation task as the paper broker recorded
// it. Built on the GUI thread and not changed once shown.
class CJournalEntry : public WQ::IBaseHpfTableData
{
public:
    enum EColumn
    {
        COLUMN_SERIAL = 0, // order of arrival in the view, the newest highest
        COLUMN_KIND,
        COLUMN_BATCH,
        COLUMN_TIME,
        COLUMN_ACCOUNT,
        COLUMN_CODE,
        COLUMN_VOLUME,
        COLUMN_PRICE,
        COLUMN_PRICE_TYPE,
        COLUMN_NOTE,
        COLUMN_COUNT
    };

    QString getDisplayQString(int nColumn) const override;
    QString getQString(int nColumn) const override;
    int getInt(int nColumn) const override;
    double getDouble(int nColumn) const override;
    long long getLonglong(int nColumn) const override;
    const QColor* getTextColor(int nColumn) const override;
    std::string key() const override;

    long long m_nSerial = 0;
    QString m_strKind;
    long long m_nBatchId = -1; // -1: not part of an order batch
    QString m_strTime;         // as journalled, ISO 8601 with milliseconds
    QString m_strAccount;
    QString m_strCode;
    long long m_nVolume = -1; // -1: none
    double m_dPrice = 0.0;
    bool m_bHasPrice = false;
    QString m_strPriceType;
    QString m_strNote;
};

} // namespace TC
