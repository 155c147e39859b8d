#include "ui/chpftableadapter.h"

#include <QBrush>
#include <QHash>

#include <algorithm>

namespace WQ {

namespace {

using CChange = IBaseHpfTableModel::CChange;

// Ties on the typed value (often the "no value" maximum) fall back on the texts shown, compared as
// numbers when both are numbers.
int compareTexts(const QString& strLeft, const QString& strRight)
{
    bool bLeftOk = false;
    bool bRightOk = false;
    const double dLeft = strLeft.toDouble(&bLeftOk);
    const double dRight = strRight.toDouble(&bRightOk);
    if (bLeftOk && bRightOk) {
        return dLeft < dRight ? -1 : (dRight < dLeft ? 1 : 0);
    }
    return strLeft.compare(strRight);
}

template <class T> int compareNumbers(T left, T right)
{
    return left < right ? -1 : (right < left ? 1 : 0);
}

} // namespace

CHpfTableAdapter::CHpfTableAdapter(QObject* pParent) : QAbstractTableModel(pParent)
{
}

CHpfTableAdapter::~CHpfTableAdapter() = default;

void CHpfTableAdapter::setDataModel(IBaseHpfTableModel* pModel)
{
    beginResetModel();
    m_pModel = pModel;
    m_nVersion = UINT64_MAX;
    m_rows.clear();
    m_nColumnCount = pModel ? pModel->columnCount() : 0;
    m_nSortColumn = -1;
    endResetModel();
}

CHpfTableAdapter::ERefresh CHpfTableAdapter::refresh()
{
    if (!m_pModel) {
        return REFRESH_NONE;
    }
    std::vector<CChange> changes;
    const IBaseHpfTableModel::EReadResult eRead = m_pModel->readChanges(m_nVersion, changes);
    if (eRead == IBaseHpfTableModel::READ_UP_TO_DATE) {
        return REFRESH_NONE;
    }
    if (eRead == IBaseHpfTableModel::READ_ALL) {
        std::vector<CRow> rows;
        rows.reserve(changes.size());
        for (CChange& change : changes) {
            rows.push_back(CRow{std::move(change.m_pData), change.m_nSerial});
        }
        if (m_nSortColumn >= 0) {
            std::sort(rows.begin(), rows.end(),
                      [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
        }
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return REFRESH_RESET;
    }

    // Fold the changes: rows that came and went within them never reach the view.
    const bool bSorted = m_nSortColumn >= 0;
    std::vector<CRow> added;
    QHash<const IBaseHpfTableData*, size_t> addedIndex;
    QSet<const IBaseHpfTableData*> gone;
    QHash<const IBaseHpfTableData*, boost::shared_ptr<IBaseHpfTableData>> replaceInPlace; // shown -> new
    QHash<const IBaseHpfTableData*, const IBaseHpfTableData*> replacedFrom;               // new -> shown
    for (CChange& change : changes) {
        const IBaseHpfTableData* pData = change.m_pData.get();
        const IBaseHpfTableData* pOld = change.m_pOld.get();
        switch (change.m_eKind) {
        case CChange::ADDED:
            addedIndex.insert(pData, added.size());
            added.push_back(CRow{change.m_pData, change.m_nSerial});
            break;
        case CChange::REPLACED:
            if (addedIndex.contains(pOld)) {
                const size_t nIndex = addedIndex.take(pOld);
                added[nIndex].m_pData = change.m_pData;
                addedIndex.insert(pData, nIndex);
            } else if (replacedFrom.contains(pOld)) {
                const IBaseHpfTableData* pShown = replacedFrom.take(pOld);
                replaceInPlace.insert(pShown, change.m_pData);
                replacedFrom.insert(pData, pShown);
            } else if (bSorted) {
                // Its values may differ, so it may belong elsewhere.
                gone.insert(pOld);
                addedIndex.insert(pData, added.size());
                added.push_back(CRow{change.m_pData, change.m_nSerial});
            } else {
                replaceInPlace.insert(pOld, change.m_pData);
                replacedFrom.insert(pData, pOld);
            }
            break;
        case CChange::REMOVED:
            if (addedIndex.contains(pData)) {
                added[addedIndex.take(pData)].m_pData.reset();
            } else if (replacedFrom.contains(pData)) {
                const IBaseHpfTableData* pShown = replacedFrom.take(pData);
                replaceInPlace.remove(pShown);
                gone.insert(pShown);
            } else {
                gone.insert(pData);
            }
            break;
        }
    }
    added.erase(std::remove_if(added.begin(), added.end(), [](const CRow& row) { return !row.m_pData; }),
                added.end());
    if (added.empty() && gone.isEmpty() && replaceInPlace.isEmpty()) {
        return REFRESH_NONE;
    }

    const int nOldCount = static_cast<int>(m_rows.size());
    if (gone.isEmpty() && replaceInPlace.isEmpty() && !bSorted) {
        // New rows arrive in serial order, after every row shown.
        beginInsertRows(QModelIndex(), nOldCount, nOldCount + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(m_rows));
        endInsertRows();
        return REFRESH_APPENDED;
    }

    // The view keeps reading m_rows until it is told of the change, so the new order is built aside.
    std::vector<CRow> survivors;
    survivors.reserve(m_rows.size() + added.size());
    for (const CRow& row : m_rows) {
        const IBaseHpfTableData* pData = row.m_pData.get();
        if (gone.contains(pData)) {
            continue;
        }
        auto it = replaceInPlace.constFind(pData);
        survivors.push_back(it == replaceInPlace.constEnd() ? row : CRow{it.value(), row.m_nSerial});
    }
    if (gone.isEmpty() && added.empty()) {
        m_rows = std::move(survivors);
        emit dataChanged(index(0, 0), index(nOldCount - 1, m_nColumnCount - 1));
        return REFRESH_DATA;
    }
    if (bSorted) {
        std::sort(added.begin(), added.end(),
                  [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
        std::vector<CRow> merged;
        merged.reserve(survivors.size() + added.size());
        auto next = survivors.begin();
        for (CRow& row : added) {
            auto pos = std::upper_bound(next, survivors.end(), row,
                                        [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
            std::move(next, pos, std::back_inserter(merged));
            merged.push_back(std::move(row));
            next = pos;
        }
        std::move(next, survivors.end(), std::back_inserter(merged));
        survivors = std::move(merged);
    } else {
        std::move(added.begin(), added.end(), std::back_inserter(survivors));
    }

    if (static_cast<int>(survivors.size()) == nOldCount) {
        moveToLayout(std::move(survivors));
        return REFRESH_LAYOUT;
    }
    beginResetModel();
    m_rows = std::move(survivors);
    endResetModel();
    return REFRESH_RESET;
}

void CHpfTableAdapter::moveToLayout(std::vector<CRow>&& rows)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList oldIndexes = persistentIndexList();
    QHash<const IBaseHpfTableData*, int> newRowOf;
    if (!oldIndexes.isEmpty()) {
        QSet<const IBaseHpfTableData*> wanted;
        for (const QModelIndex& oldIndex : oldIndexes) {
            wanted.insert(m_rows[static_cast<size_t>(oldIndex.row())].m_pData.get());
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            if (wanted.contains(rows[i].m_pData.get())) {
                newRowOf.insert(rows[i].m_pData.get(), static_cast<int>(i));
            }
        }
    }
    QModelIndexList newIndexes;
    newIndexes.reserve(oldIndexes.size());
    for (const QModelIndex& oldIndex : oldIndexes) {
        const int nRow = newRowOf.value(m_rows[static_cast<size_t>(oldIndex.row())].m_pData.get(), -1);
        newIndexes.append(nRow < 0 ? QModelIndex() : index(nRow, oldIndex.column()));
    }
    m_rows = std::move(rows);
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged();
}

void CHpfTableAdapter::sort(int nColumn, Qt::SortOrder eOrder)
{
    if (nColumn >= m_nColumnCount) {
        nColumn = -1;
    }
    m_nSortColumn = nColumn;
    m_eSortOrder = eOrder;
    std::vector<CRow> rows = m_rows;
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
    moveToLayout(std::move(rows));
}

void CHpfTableAdapter::setBoldColumn(int nColumn, bool bBold)
{
    if (bBold) {
        m_boldColumns.insert(nColumn);
    } else {
        m_boldColumns.remove(nColumn);
    }
    if (!m_rows.empty() && nColumn >= 0 && nColumn < m_nColumnCount) {
        emit dataChanged(index(0, nColumn), index(static_cast<int>(m_rows.size()) - 1, nColumn),
                         {Qt::FontRole});
    }
}

void CHpfTableAdapter::setFonts(const QFont& normal)
{
    m_boldFont = normal;
    m_boldFont.setBold(true);
}

QList<int> CHpfTableAdapter::rowsOf(const QSet<const IBaseHpfTableData*>& datas) const
{
    QList<int> result;
    if (datas.isEmpty()) {
        return result;
    }
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (datas.contains(m_rows[i].m_pData.get())) {
            result.append(static_cast<int>(i));
        }
    }
    return result;
}

int CHpfTableAdapter::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CHpfTableAdapter::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nColumnCount;
}

QVariant CHpfTableAdapter::data(const QModelIndex& index, int nRole) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size())) {
        return QVariant();
    }
    const IBaseHpfTableData& row = *m_rows[static_cast<size_t>(index.row())].m_pData;
    const int nColumn = index.column();
    switch (nRole) {
    case Qt::DisplayRole:
        return row.getDisplayQString(nColumn) + row.getDisplayUnit(nColumn);
    case Qt::ToolTipRole: {
        const QString strTip = row.getItemIconTip(nColumn);
        return strTip.isEmpty() ? QVariant() : QVariant(strTip);
    }
    case Qt::ForegroundRole: {
        const QColor* pColor = row.getTextColor(nColumn);
        return pColor ? QVariant(QBrush(*pColor)) : QVariant();
    }
    case Qt::BackgroundRole: {
        const QColor* pColor = row.getBackgroundColor(nColumn);
        return pColor ? QVariant(QBrush(*pColor)) : QVariant();
    }
    case Qt::FontRole:
        return m_boldColumns.contains(nColumn) ? QVariant(m_boldFont) : QVariant();
    case Qt::TextAlignmentRole:
        return static_cast<int>((isNumericColumn(nColumn) ? Qt::AlignRight : Qt::AlignLeft) |
                                Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant CHpfTableAdapter::headerData(int nSection, Qt::Orientation eOrientation, int nRole) const
{
    if (eOrientation != Qt::Horizontal || !m_pModel) {
        return QVariant();
    }
    if (nRole == Qt::DisplayRole) {
        return m_pModel->columnName(nSection);
    }
    if (nRole == Qt::TextAlignmentRole) {
        return static_cast<int>((isNumericColumn(nSection) ? Qt::AlignRight : Qt::AlignLeft) |
                                Qt::AlignVCenter);
    }
    return QVariant();
}

bool CHpfTableAdapter::lessThan(const CRow& left, const CRow& right) const
{
    if (m_nSortColumn >= 0) {
        int nOrder = m_pModel->customSort(left.m_pData, right.m_pData);
        if (nOrder == 0) {
            nOrder = compareValues(*left.m_pData, *right.m_pData);
        }
        if (nOrder != 0) {
            return m_eSortOrder == Qt::AscendingOrder ? nOrder < 0 : nOrder > 0;
        }
    }
    return left.m_nSerial < right.m_nSerial;
}

int CHpfTableAdapter::compareValues(const IBaseHpfTableData& left, const IBaseHpfTableData& right) const
{
    const int nColumn = m_nSortColumn;
    int nOrder = 0;
    switch (m_pModel->columnType(nColumn)) {
    case QVariant::Int:
    case QVariant::UInt:
        nOrder = compareNumbers(left.getInt(nColumn), right.getInt(nColumn));
        break;
    case QVariant::LongLong:
    case QVariant::ULongLong:
        nOrder = compareNumbers(left.getLonglong(nColumn), right.getLonglong(nColumn));
        break;
    case QVariant::Double:
        nOrder = compareNumbers(left.getDouble(nColumn), right.getDouble(nColumn));
        break;
    default:
        nOrder = left.getQString(nColumn).compare(right.getQString(nColumn));
        break;
    }
    return nOrder != 0 ? nOrder
                       : compareTexts(left.getDisplayQString(nColumn), right.getDisplayQString(nColumn));
}

bool CHpfTableAdapter::isNumericColumn(int nColumn) const
{
    if (!m_pModel) {
        return false;
    }
    switch (m_pModel->columnType(nColumn)) {
    case QVariant::Int:
    case QVariant::UInt:
    case QVariant::LongLong:
    case QVariant::ULongLong:
    case QVariant::Double:
        return true;
    default:
        return false;
    }
}

} // namespace WQ
