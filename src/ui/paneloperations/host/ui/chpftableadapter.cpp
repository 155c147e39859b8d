#include "ui/chpftableadapter.h"

#include <QBrush>
#include <QHash>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>

namespace WQ {

namespace {

using CChange = IBaseHpfTableModel::CChange;

// Ties on the typed value (often the "no value" maximum) fall back on the texts shown: numbers by value,
// before every text that is no number; those by their characters. A total order, as sorting needs.
int compareTexts(const QString& strLeft, const QString& strRight)
{
    bool bLeftOk = false;
    bool bRightOk = false;
    const double dLeft = strLeft.toDouble(&bLeftOk);
    const double dRight = strRight.toDouble(&bRightOk);
    bLeftOk = bLeftOk && !std::isnan(dLeft);
    bRightOk = bRightOk && !std::isnan(dRight);
    if (bLeftOk != bRightOk) {
        return bLeftOk ? -1 : 1;
    }
    if (bLeftOk) {
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

CHpfTableAdapter::~CHpfTableAdapter()
{
    if (m_pModel) {
        m_pModel->detachAdapter(this);
    }
}

void CHpfTableAdapter::setDataModel(IBaseHpfTableModel* pModel)
{
    beginResetModel();
    if (m_pModel) {
        m_pModel->detachAdapter(this);
    }
    m_pModel = pModel;
    if (m_pModel) {
        m_pModel->attachAdapter(this);
    }
    m_nVersion = UINT64_MAX;
    m_rows.clear();
    m_nColumnCount = pModel ? pModel->columnCount() : 0;
    m_nSortColumn = -1;
    endResetModel();
}

void CHpfTableAdapter::modelDestroyed()
{
    beginResetModel();
    m_pModel = nullptr;
    m_rows.clear();
    m_nColumnCount = 0;
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

    // Fold the changes: rows that came and went within them never reach the view. Rows to take out are
    // kept with their serial, so that their place is found by binary search in the current order.
    const bool bSorted = m_nSortColumn >= 0;
    std::vector<CRow> added;
    std::vector<CRow> gone;
    std::vector<std::pair<CRow, boost::shared_ptr<IBaseHpfTableData>>> replaced; // shown row -> new row
    QHash<const IBaseHpfTableData*, size_t> addedIndex;
    QHash<const IBaseHpfTableData*, size_t> replacedIndex; // new row -> entry of replaced
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
            } else if (replacedIndex.contains(pOld)) {
                const size_t nIndex = replacedIndex.take(pOld);
                replaced[nIndex].second = change.m_pData;
                replacedIndex.insert(pData, nIndex);
            } else if (bSorted) {
                // Its values may differ, so it may belong elsewhere.
                gone.push_back(CRow{change.m_pOld, change.m_nSerial});
                addedIndex.insert(pData, added.size());
                added.push_back(CRow{change.m_pData, change.m_nSerial});
            } else {
                replacedIndex.insert(pData, replaced.size());
                replaced.emplace_back(CRow{change.m_pOld, change.m_nSerial}, change.m_pData);
            }
            break;
        case CChange::REMOVED:
            if (addedIndex.contains(pData)) {
                added[addedIndex.take(pData)].m_pData.reset();
            } else if (replacedIndex.contains(pData)) {
                CRow& shown = replaced[replacedIndex.take(pData)].first;
                gone.push_back(shown);
                shown.m_pData.reset();
            } else {
                gone.push_back(CRow{change.m_pData, change.m_nSerial});
            }
            break;
        }
    }
    added.erase(std::remove_if(added.begin(), added.end(), [](const CRow& row) { return !row.m_pData; }),
                added.end());
    replaced.erase(std::remove_if(replaced.begin(), replaced.end(),
                                  [](const auto& entry) { return !entry.first.m_pData; }),
                   replaced.end());
    if (added.empty() && gone.empty() && replaced.empty()) {
        return REFRESH_NONE;
    }

    const int nOldCount = static_cast<int>(m_rows.size());
    if (gone.empty() && replaced.empty() && !bSorted) {
        // New rows arrive in serial order, after every row shown.
        beginInsertRows(QModelIndex(), nOldCount, nOldCount + static_cast<int>(added.size()) - 1);
        std::move(added.begin(), added.end(), std::back_inserter(m_rows));
        endInsertRows();
        return REFRESH_APPENDED;
    }
    if (gone.empty() && added.empty()) {
        // Rows replaced in place, the order unchanged.
        int nFirst = nOldCount;
        int nLast = -1;
        for (auto& entry : replaced) {
            const int nRow = findRow(entry.first);
            if (nRow >= 0) {
                m_rows[static_cast<size_t>(nRow)].m_pData = std::move(entry.second);
                nFirst = std::min(nFirst, nRow);
                nLast = std::max(nLast, nRow);
            }
        }
        if (nLast >= 0) {
            emit dataChanged(index(nFirst, 0), index(nLast, m_nColumnCount - 1));
        }
        return REFRESH_DATA;
    }

    std::vector<bool> remove(m_rows.size(), false);
    int nRemoved = 0;
    for (const CRow& row : gone) {
        const int nRow = findRow(row);
        if (nRow >= 0 && !remove[static_cast<size_t>(nRow)]) {
            remove[static_cast<size_t>(nRow)] = true;
            ++nRemoved;
        }
    }
    // The view is told before the rows change, so they can be moved rather than copied.
    const bool bLayout = nRemoved == static_cast<int>(added.size());
    QModelIndexList oldIndexes;
    std::vector<CRow> persistentRows;
    if (bLayout) {
        emit layoutAboutToBeChanged();
        oldIndexes = persistentIndexList();
        for (const QModelIndex& oldIndex : qAsConst(oldIndexes)) {
            persistentRows.push_back(m_rows[static_cast<size_t>(oldIndex.row())]);
        }
    } else {
        beginResetModel();
    }
    for (auto& entry : replaced) {
        const int nRow = findRow(entry.first);
        if (nRow >= 0) {
            m_rows[static_cast<size_t>(nRow)].m_pData = std::move(entry.second);
        }
    }
    size_t nKept = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (!remove[i]) {
            if (nKept != i) {
                m_rows[nKept] = std::move(m_rows[i]);
            }
            ++nKept;
        }
    }
    m_rows.resize(nKept);
    if (bSorted) {
        auto less = [this](const CRow& l, const CRow& r) { return lessThan(l, r); };
        std::sort(added.begin(), added.end(), less);
        std::vector<CRow> merged;
        merged.reserve(m_rows.size() + added.size());
        auto next = m_rows.begin();
        for (CRow& row : added) {
            auto pos = std::upper_bound(next, m_rows.end(), row, less);
            std::move(next, pos, std::back_inserter(merged));
            merged.push_back(std::move(row));
            next = pos;
        }
        std::move(next, m_rows.end(), std::back_inserter(merged));
        m_rows = std::move(merged);
    } else {
        std::move(added.begin(), added.end(), std::back_inserter(m_rows));
    }
    if (!bLayout) {
        endResetModel();
        return REFRESH_RESET;
    }
    QModelIndexList newIndexes;
    newIndexes.reserve(oldIndexes.size());
    for (int i = 0; i < oldIndexes.size(); ++i) {
        const int nRow = findRow(persistentRows[static_cast<size_t>(i)]);
        newIndexes.append(nRow < 0 ? QModelIndex() : index(nRow, oldIndexes.at(i).column()));
    }
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged();
    return REFRESH_LAYOUT;
}

int CHpfTableAdapter::findRow(const CRow& row) const
{
    // The rows are in lessThan order, a total order (the serial breaks every tie), and a row's values
    // never change: a binary search finds it.
    auto it = std::lower_bound(m_rows.begin(), m_rows.end(), row,
                               [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
    if (it != m_rows.end() && it->m_pData == row.m_pData) {
        return static_cast<int>(it - m_rows.begin());
    }
    return -1;
}

void CHpfTableAdapter::sort(int nColumn, Qt::SortOrder eOrder)
{
    if (nColumn >= m_nColumnCount) {
        nColumn = -1;
    }
    emit layoutAboutToBeChanged();
    const QModelIndexList oldIndexes = persistentIndexList();
    std::vector<CRow> persistentRows;
    for (const QModelIndex& oldIndex : oldIndexes) {
        persistentRows.push_back(m_rows[static_cast<size_t>(oldIndex.row())]);
    }
    m_nSortColumn = nColumn;
    m_eSortOrder = eOrder;
    std::sort(m_rows.begin(), m_rows.end(), [this](const CRow& l, const CRow& r) { return lessThan(l, r); });
    QModelIndexList newIndexes;
    for (int i = 0; i < oldIndexes.size(); ++i) {
        const int nRow = findRow(persistentRows[static_cast<size_t>(i)]);
        newIndexes.append(nRow < 0 ? QModelIndex() : index(nRow, oldIndexes.at(i).column()));
    }
    changePersistentIndexList(oldIndexes, newIndexes);
    emit layoutChanged();
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
        return static_cast<int>(cellAlignment(row, nColumn));
    default:
        return QVariant();
    }
}

Qt::Alignment CHpfTableAdapter::cellAlignment(const IBaseHpfTableData& row, int nColumn) const
{
    // Numbers line up on the right; a column typed as a number may still show words (an operation's
    // name for its number), which read better from the left.
    bool bNumber = false;
    if (isNumericColumn(nColumn)) {
        row.getDisplayQString(nColumn).toDouble(&bNumber);
    }
    return (bNumber ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
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
        // As the column's cells, judged by the first row.
        const Qt::Alignment alignment =
            m_rows.empty() ? (isNumericColumn(nSection) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter
                           : cellAlignment(*m_rows.front().m_pData, nSection);
        return static_cast<int>(alignment);
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
    // A typed value at its type's maximum means the row has none for this column; such rows are
    // ordered by the texts they show.
    const int nColumn = m_nSortColumn;
    bool bNoValue = false;
    int nOrder = 0;
    switch (m_pModel->columnType(nColumn)) {
    case QVariant::Int:
    case QVariant::UInt: {
        const int nLeft = left.getInt(nColumn);
        const int nRight = right.getInt(nColumn);
        nOrder = compareNumbers(nLeft, nRight);
        bNoValue = nLeft == INT_MAX;
        break;
    }
    case QVariant::LongLong:
    case QVariant::ULongLong: {
        const long long llLeft = left.getLonglong(nColumn);
        const long long llRight = right.getLonglong(nColumn);
        nOrder = compareNumbers(llLeft, llRight);
        bNoValue = llLeft == LLONG_MAX;
        break;
    }
    case QVariant::Double: {
        const double dLeft = left.getDouble(nColumn);
        const double dRight = right.getDouble(nColumn);
        nOrder = compareNumbers(dLeft, dRight);
        bNoValue = dLeft == DBL_MAX;
        break;
    }
    default:
        return left.getQString(nColumn).compare(right.getQString(nColumn));
    }
    return (nOrder == 0 && bNoValue)
               ? compareTexts(left.getDisplayQString(nColumn), right.getDisplayQString(nColumn))
               : nOrder;
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
