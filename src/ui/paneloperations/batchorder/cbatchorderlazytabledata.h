#pragma once

#include "ui/ibasehpftabledata.h"

#include <boost/shared_ptr.hpp>

#include <QString>

#include <mutex>
#include <string>

namespace TC {

class CBatchOrderData;
class CBatchOrderTableData;

// A row of the pending and processed tables whose cells are built from its instruction
// (CBatchOrderTableData::build) when a table first reads them. A panel opening on many records then
// shows at once, and rows nobody looks at cost no building on the announcing thread. The key is made
// at construction. Any thread may read the row; the cells are built once.
class CBatchOrderLazyTableData : public WQ::IBaseHpfTableData
{
public:
    // pData must have a price type: a record without one gets no row. strKey is its row key
    // (CBatchOrderTableData::makeQsKey), which the caller has made already.
    CBatchOrderLazyTableData(boost::shared_ptr<CBatchOrderData> pData, const QString& strKey);
    ~CBatchOrderLazyTableData() override;

    QString getDisplayQString(int nColumn) const override;
    QString getQString(int nColumn) const override;
    int getInt(int nColumn) const override;
    double getDouble(int nColumn) const override;
    long long getLonglong(int nColumn) const override;
    const QColor* getTextColor(int nColumn) const override;
    std::string key() const override;
    QString qsKey() const override;

    // The row's cells, built on the first call.
    const CBatchOrderTableData& cells() const;

private:
    boost::shared_ptr<CBatchOrderData> m_pData;
    std::string m_strKey;
    QString m_strQsKey;
    mutable std::once_flag m_built;
    mutable boost::shared_ptr<CBatchOrderTableData> m_pCells;
};

} // namespace TC
