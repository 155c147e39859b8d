#pragma once

#include "config/caccountdata.h"
#include "trading/tradetypes.h"
#include "ui/ibasehpftabledata.h"

#include <boost/shared_ptr.hpp>

#include <QString>

#include <cstdint>
#include <string>

namespace TC {

class CBatchOrderData;

// One row of the pending and processed tables, built from one instruction record with its cells
// already in display form. Built and added to a model on the thread that announces records; read by
// the table on the GUI thread; never changed once added.
class CBatchOrderTableData : public WQ::IBaseHpfTableData
{
public:
    CBatchOrderTableData() = default;
    ~CBatchOrderTableData() override;

    // The row for a record, or null when the record has no price type (reported on the console).
    static boost::shared_ptr<CBatchOrderTableData> build(const CBatchOrderData& data);
    // The row key of a sequence number: right-aligned in at least 8 characters.
    static std::string makeKey(int32_t nSeq);
    static QString makeQsKey(int32_t nSeq);

    QString getDisplayQString(int nColumn) const override;
    QString getQString(int nColumn) const override;
    int getInt(int nColumn) const override;
    double getDouble(int nColumn) const override;
    long long getLonglong(int nColumn) const override;
    const QColor* getTextColor(int nColumn) const override;
    std::string key() const override;

    int32_t m_nSeq = 0;
    QString m_strOperation;
    QString m_strPrice; // as written in the instruction
    int64_t m_nVolume = 0;
    std::string m_strMarket; // UTF-8
    std::string m_strCode;   // UTF-8
    std::string m_strName;   // UTF-8
    QString m_strNote;
    QString m_strNote1;
    QString m_strPriceTypeText;
    ttservice::EOrderType m_eAlgoOrderType = ttservice::OTP_NONE;
    boost::shared_ptr<CAccount> m_pAccount;
    int32_t m_nStatus = 0; // the record's status when the row was built
};

} // namespace TC
