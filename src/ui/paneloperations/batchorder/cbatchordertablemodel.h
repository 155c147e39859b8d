#pragma once

#include "ui/ibasehpftablemodel.h"

namespace TC {

// The columns of the pending and processed tables (11: market, code, name, operation, price type,
// quantity, price, account, algorithm, remark, remark 1). Rows are stored by the model base: written
// on the thread that announces records, read by the table on the GUI thread.
class CBatchOrderTableModel : public WQ::IBaseHpfTableModel
{
public:
    CBatchOrderTableModel();
    ~CBatchOrderTableModel() override;

    int columnCount() const override;
    QString columnName(int nColumn) const override;
    int columnType(int nColumn) const override;
    QString emptyText() const override;
    bool isMultiSelection() const override;
    int rowHeight() const override;
    ETableFlags tableFlags() const override;
};

} // namespace TC
