#pragma once

#include "ui/ceventwidgett.h"
#include "ui/cuirestyler.h"

#include <QSet>
#include <QWidget>

class QLabel;
class QMenu;
class QTableView;

namespace WQ {

class CHpfTableAdapter;
class IBaseHpfTableModel;

// The host's table for large row sets: a Qt table view over an IBaseHpfTableModel, with fixed row
// heights and no widget per cell. The rows shown change only in updateTable, which takes the model's
// changes since the last call. Clicking a header sorts by that column (by its value type), clicking it
// again reverses the order; the header's context menu lets the user show and hide columns. GUI thread
// only.
class CStandardHpfTable : public CEventWidgetT<QWidget>, public CUiRestyler
{
    Q_OBJECT

public:
    // Features of the header's context menu and of the header; other bits are ignored.
    enum EMenuFlag
    {
        MENU_COLUMN_LIST = 0x01,   // the columns, to show and hide
        MENU_SORT = 0x02,          // clicking a header sorts
        MENU_RESTORE_ORDER = 0x04, // back to the order of arrival
        MENU_ALL = 0x1FF,
    };

    CStandardHpfTable(int nId, QWidget* pParent, int nMenuFlags);
    ~CStandardHpfTable() override;

    int id() const { return m_nId; }

    // Not owned; a model destroyed first leaves the table empty.
    void setDataModel(IBaseHpfTableModel* pModel);
    IBaseHpfTableModel* dataModel() const;
    // Shows the model's rows as they are now.
    void updateTable();
    // Removes every row from the model and from the view at once.
    void clear();

    void setColumnVisible(int nColumn, bool bVisible);
    bool isColumnVisible(int nColumn) const;
    // Whether the column is offered in the column list; one that is not keeps its visibility.
    void setColListVisible(int nColumn, bool bVisible);
    bool isColListVisible(int nColumn) const;
    void setColumnBoldFont(int nColumn, bool bBold);
    // Sorts by nColumn (-1: order of arrival).
    void sortByColumn(int nColumn, Qt::SortOrder eOrder);

    // The header's context menu as it would open now (the caller owns it).
    QMenu* createColumnListMenu(QWidget* pParent);

    int rowCount() const;
    // The text shown in a cell, by view row.
    QString cellText(int nRow, int nColumn) const;
    QTableView* view() const { return m_pView; }

private:
    void restyle() override;
    void applyModelLook();
    void onHeaderClicked(int nColumn);
    void onHeaderMenu(const QPoint& pos);
    void updateEmptyText();

    int m_nId = 0;
    int m_nMenuFlags = 0;
    QTableView* m_pView = nullptr;
    CHpfTableAdapter* m_pAdapter = nullptr;
    QLabel* m_pEmptyLabel = nullptr;
    QSet<int> m_hiddenFromList;
};

} // namespace WQ
