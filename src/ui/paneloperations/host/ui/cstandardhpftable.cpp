#include "ui/cstandardhpftable.h"

#include "ui/chpftableadapter.h"
#include "ui/cuiresource.h"
#include "ui/ibasehpftablemodel.h"
#include "ui/itemviewstyle.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>

#include <QTableView>
#include <algorithm>

namespace WQ {

CStandardHpfTable::CStandardHpfTable(int nId, QWidget* pParent, int nMenuFlags)
    : CEventWidgetT<QWidget>(pParent), m_nId(nId), m_nMenuFlags(nMenuFlags)
{
    m_pView = new QTableView(this);
    m_pAdapter = new CHpfTableAdapter(this);
    m_pView->setModel(m_pAdapter);
    m_pView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->setWordWrap(false);
    m_pView->setCornerButtonEnabled(false);
    m_pView->setFrameShape(QFrame::NoFrame);
    m_pView->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_pView->verticalHeader()->hide();
    // Fixed heights: the view never measures rows, whatever their number.
    m_pView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* pHeader = m_pView->horizontalHeader();
    pHeader->setHighlightSections(false);
    pHeader->setStretchLastSection(true);
    pHeader->setSectionResizeMode(QHeaderView::Interactive);
    pHeader->setSectionsClickable(m_nMenuFlags & MENU_SORT);
    pHeader->setSortIndicatorShown(false);
    connect(pHeader, &QHeaderView::sectionClicked, this, &CStandardHpfTable::onHeaderClicked);
    if (m_nMenuFlags & (MENU_COLUMN_LIST | MENU_RESTORE_ORDER)) {
        pHeader->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(pHeader, &QWidget::customContextMenuRequested, this, &CStandardHpfTable::onHeaderMenu);
    }

    m_pEmptyLabel = new QLabel(m_pView->viewport());
    m_pEmptyLabel->setAlignment(Qt::AlignCenter);
    m_pEmptyLabel->hide();

    setContentWidget(m_pView, 0, 0, 0, 0, true);
    restyle();
}

CStandardHpfTable::~CStandardHpfTable() = default;

void CStandardHpfTable::setDataModel(IBaseHpfTableModel* pModel)
{
    m_pAdapter->setDataModel(pModel);
    m_pView->horizontalHeader()->setSortIndicatorShown(false);
    applyModelLook();
    updateTable();
}

IBaseHpfTableModel* CStandardHpfTable::dataModel() const
{
    return m_pAdapter->dataModel();
}

void CStandardHpfTable::updateTable()
{
    // A reset loses the selection; take it by row so that it survives rows moving.
    QSet<const IBaseHpfTableData*> selected;
    const IBaseHpfTableData* pCurrent = nullptr;
    if (QItemSelectionModel* pSelection = m_pView->selectionModel()) {
        for (const QModelIndex& index : pSelection->selectedRows()) {
            selected.insert(m_pAdapter->rowData(index.row()).get());
        }
        const QModelIndex current = pSelection->currentIndex();
        if (current.isValid()) {
            pCurrent = m_pAdapter->rowData(current.row()).get();
        }
    }
    const int nScroll = m_pView->verticalScrollBar()->value();

    if (m_pAdapter->refresh() == CHpfTableAdapter::REFRESH_RESET && (!selected.isEmpty() || pCurrent)) {
        QItemSelection selection;
        const int nLastColumn = m_pAdapter->columnCount() - 1;
        for (int nRow : m_pAdapter->rowsOf(selected)) {
            selection.select(m_pAdapter->index(nRow, 0), m_pAdapter->index(nRow, nLastColumn));
        }
        m_pView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        const QList<int> currentRows = m_pAdapter->rowsOf({pCurrent});
        if (!currentRows.isEmpty()) {
            m_pView->selectionModel()->setCurrentIndex(m_pAdapter->index(currentRows.first(), 0),
                                                       QItemSelectionModel::NoUpdate);
        }
        m_pView->verticalScrollBar()->setValue(nScroll);
    }
    updateEmptyText();
}

void CStandardHpfTable::clear()
{
    if (IBaseHpfTableModel* pModel = m_pAdapter->dataModel()) {
        pModel->clear();
    }
    m_pAdapter->refresh();
    updateEmptyText();
}

void CStandardHpfTable::setColumnVisible(int nColumn, bool bVisible)
{
    m_pView->setColumnHidden(nColumn, !bVisible);
}

bool CStandardHpfTable::isColumnVisible(int nColumn) const
{
    return !m_pView->isColumnHidden(nColumn);
}

void CStandardHpfTable::setColListVisible(int nColumn, bool bVisible)
{
    if (bVisible) {
        m_hiddenFromList.remove(nColumn);
    } else {
        m_hiddenFromList.insert(nColumn);
    }
}

bool CStandardHpfTable::isColListVisible(int nColumn) const
{
    return !m_hiddenFromList.contains(nColumn);
}

void CStandardHpfTable::setColumnBoldFont(int nColumn, bool bBold)
{
    m_pAdapter->setBoldColumn(nColumn, bBold);
}

void CStandardHpfTable::sortByColumn(int nColumn, Qt::SortOrder eOrder)
{
    QHeaderView* pHeader = m_pView->horizontalHeader();
    pHeader->setSortIndicatorShown(nColumn >= 0);
    if (nColumn >= 0) {
        pHeader->setSortIndicator(nColumn, eOrder);
    }
    m_pAdapter->sort(nColumn, eOrder);
}

QMenu* CStandardHpfTable::createColumnListMenu(QWidget* pParent)
{
    auto* pMenu = new QMenu(pParent);
    IBaseHpfTableModel* pModel = m_pAdapter->dataModel();
    if ((m_nMenuFlags & MENU_COLUMN_LIST) && pModel) {
        int nVisible = 0;
        for (int nColumn = 0; nColumn < pModel->columnCount(); ++nColumn) {
            nVisible += isColumnVisible(nColumn) ? 1 : 0;
        }
        for (int nColumn = 0; nColumn < pModel->columnCount(); ++nColumn) {
            if (!isColListVisible(nColumn)) {
                continue;
            }
            QAction* pAction = pMenu->addAction(pModel->columnName(nColumn));
            pAction->setCheckable(true);
            pAction->setChecked(isColumnVisible(nColumn));
            pAction->setData(nColumn);
            // The last visible column stays: a table without columns could not offer this menu again.
            pAction->setEnabled(!(isColumnVisible(nColumn) && nVisible == 1));
            connect(pAction, &QAction::toggled, this,
                    [this, nColumn](bool bChecked) { setColumnVisible(nColumn, bChecked); });
        }
    }
    if (m_nMenuFlags & MENU_RESTORE_ORDER) {
        if (!pMenu->isEmpty()) {
            pMenu->addSeparator();
        }
        QAction* pAction = pMenu->addAction(QStringLiteral("恢复默认排序"));
        pAction->setEnabled(m_pAdapter->sortColumn() >= 0);
        connect(pAction, &QAction::triggered, this, [this] { sortByColumn(-1, Qt::AscendingOrder); });
    }
    return pMenu;
}

int CStandardHpfTable::rowCount() const
{
    return m_pAdapter->rowCount();
}

QString CStandardHpfTable::cellText(int nRow, int nColumn) const
{
    return m_pAdapter->data(m_pAdapter->index(nRow, nColumn), Qt::DisplayRole).toString();
}

void CStandardHpfTable::restyle()
{
    const CUiResource* pRes = CUiResource::instance();
    applyItemViewStyle(m_pView);
    m_pAdapter->setFonts(m_pView->font());
    QPalette emptyPal = m_pEmptyLabel->palette();
    emptyPal.setColor(QPalette::WindowText, pRes->getColor(QStringLiteral("clr_text_secondary")));
    m_pEmptyLabel->setPalette(emptyPal);
    m_pEmptyLabel->setFont(m_pView->font());
    applyModelLook();
}

void CStandardHpfTable::applyModelLook()
{
    IBaseHpfTableModel* pModel = m_pAdapter->dataModel();
    const int nModelHeight = pModel ? pModel->rowHeight() : 0;
    const int nRowHeight = nModelHeight > 0
                               ? nModelHeight
                               : CUiResource::instance()->getSize(QStringLiteral("tc_siz_table_row_height"));
    m_pView->verticalHeader()->setMinimumSectionSize(1);
    m_pView->verticalHeader()->setDefaultSectionSize(nRowHeight);
    const IBaseHpfTableModel::ETableFlags flags =
        pModel ? pModel->tableFlags() : IBaseHpfTableModel::ETableFlags();
    m_pView->setShowGrid(!(flags & IBaseHpfTableModel::TABLE_FLAG_NO_GRID));
    m_pView->setAlternatingRowColors(flags & IBaseHpfTableModel::TABLE_FLAG_ALTERNATE_ROWS);
    m_pView->setSelectionMode(pModel && pModel->isMultiSelection() ? QAbstractItemView::ExtendedSelection
                                                                   : QAbstractItemView::SingleSelection);
    if (pModel) {
        // Wide enough for the header text, at least the resource width.
        const QFontMetrics metrics(m_pView->horizontalHeader()->font());
        const int nPadding = CUiResource::instance()->getSize(QStringLiteral("tc_siz_text_padding")) * 4;
        const int nDefault = m_pView->horizontalHeader()->defaultSectionSize();
        for (int nColumn = 0; nColumn < pModel->columnCount(); ++nColumn) {
            m_pView->setColumnWidth(
                nColumn,
                std::max(nDefault, metrics.horizontalAdvance(pModel->columnName(nColumn)) + nPadding));
        }
    }
    updateEmptyText();
}

void CStandardHpfTable::onHeaderClicked(int nColumn)
{
    if (!(m_nMenuFlags & MENU_SORT)) {
        return;
    }
    const bool bSameColumn = m_pAdapter->sortColumn() == nColumn;
    const Qt::SortOrder eOrder = bSameColumn && m_pAdapter->sortOrder() == Qt::AscendingOrder
                                     ? Qt::DescendingOrder
                                     : Qt::AscendingOrder;
    sortByColumn(nColumn, eOrder);
}

void CStandardHpfTable::onHeaderMenu(const QPoint& pos)
{
    QMenu* pMenu = createColumnListMenu(this);
    if (!pMenu->isEmpty()) {
        pMenu->exec(m_pView->horizontalHeader()->mapToGlobal(pos));
    }
    delete pMenu;
}

void CStandardHpfTable::updateEmptyText()
{
    IBaseHpfTableModel* pModel = m_pAdapter->dataModel();
    const QString strText = pModel ? pModel->emptyText() : QString();
    const bool bShow = !strText.isEmpty() && m_pAdapter->rowCount() == 0;
    m_pEmptyLabel->setText(strText);
    m_pEmptyLabel->setVisible(bShow);
    if (bShow) {
        m_pEmptyLabel->setGeometry(m_pView->viewport()->rect());
    }
}

} // namespace WQ
