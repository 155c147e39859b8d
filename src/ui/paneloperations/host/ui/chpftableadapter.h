#pragma once

#include "ui/ibasehpftablemodel.h"

#include <boost/shared_ptr.hpp>

#include <QAbstractTableModel>
#include <QFont>
#include <QSet>

#include <cstdint>
#include <vector>

namespace WQ {

// Shows the rows of an IBaseHpfTableModel to a Qt view, in arrival order or sorted by one column. A
// refresh takes only the model's changes since the last one and tells the view with one signal: rows
// inserted at the end, data changed, layout changed or, when the row count changed otherwise, a reset.
// GUI thread only.
class CHpfTableAdapter : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum ERefresh
    {
        REFRESH_NONE,
        REFRESH_APPENDED,
        REFRESH_DATA,
        REFRESH_LAYOUT,
        REFRESH_RESET, // selections are lost; the table restores them
    };

    explicit CHpfTableAdapter(QObject* pParent = nullptr);
    ~CHpfTableAdapter() override;

    // Not owned; null detaches. The rows are read afresh at the next refresh.
    void setDataModel(IBaseHpfTableModel* pModel);
    // Called by the model as it is destroyed: shows nothing from then on.
    void modelDestroyed();
    IBaseHpfTableModel* dataModel() const { return m_pModel; }

    ERefresh refresh();
    // Sorts by nColumn (-1: arrival order).
    void sort(int nColumn, Qt::SortOrder eOrder = Qt::AscendingOrder) override;
    int sortColumn() const { return m_nSortColumn; }
    Qt::SortOrder sortOrder() const { return m_eSortOrder; }

    void setBoldColumn(int nColumn, bool bBold);
    void setFonts(const QFont& normal);

    const boost::shared_ptr<IBaseHpfTableData>& rowData(int nRow) const
    {
        return m_rows[static_cast<size_t>(nRow)].m_pData;
    }
    // The view rows showing the given rows (absent ones left out).
    QList<int> rowsOf(const QSet<const IBaseHpfTableData*>& datas) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation eOrientation,
                        int nRole = Qt::DisplayRole) const override;

private:
    struct CRow
    {
        boost::shared_ptr<IBaseHpfTableData> m_pData;
        uint64_t m_nSerial = 0;
    };

    bool lessThan(const CRow& left, const CRow& right) const;
    int compareValues(const IBaseHpfTableData& left, const IBaseHpfTableData& right) const;
    bool isNumericColumn(int nColumn) const;
    Qt::Alignment cellAlignment(const IBaseHpfTableData& row, int nColumn) const;
    // The row's place in m_rows, or -1.
    int findRow(const CRow& row) const;

    IBaseHpfTableModel* m_pModel = nullptr;
    uint64_t m_nVersion = UINT64_MAX; // UINT64_MAX: read every row at the next refresh
    std::vector<CRow> m_rows;
    int m_nColumnCount = 0;
    int m_nSortColumn = -1;
    Qt::SortOrder m_eSortOrder = Qt::AscendingOrder;
    QSet<int> m_boldColumns;
    QFont m_boldFont;
};

} // namespace WQ
