#pragma once

#include "ui/ibasehpftablemodel.h"

namespace TC {

// The columns of the journal view (CJournalEntry::EColumn). GUI thread only.
class CJournalTableModel : public WQ::IBaseHpfTableModel
{
public:
    CJournalTableModel();
    ~CJournalTableModel() override;

    int columnCount() const override;
    QString columnName(int nColumn) const override;
    int columnType(int nColumn) const override;
    QString emptyText() const override;
};

} // namespace TC
