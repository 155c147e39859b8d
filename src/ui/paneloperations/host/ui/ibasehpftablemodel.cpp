#include "ui/ibasehpftablemodel.h"

#include "ui/chpftableadapter.h"

#include <algorithm>

namespace WQ {

namespace {

// A journal longer than the rows plus this is dropped: reading every row is then no dearer than
// replaying it, and a model nobody reads does not grow without bound.
const size_t kJournalSlack = 4096;

} // namespace

IBaseHpfTableModel::IBaseHpfTableModel(bool bReplaceSameKey) : m_bReplaceSameKey(bReplaceSameKey)
{
}

IBaseHpfTableModel::~IBaseHpfTableModel()
{
    // The derived part is gone already: the tables must not ask this model anything from here on.
    const std::vector<CHpfTableAdapter*> adapters = m_adapters;
    for (CHpfTableAdapter* pAdapter : adapters) {
        pAdapter->modelDestroyed();
    }
}

void IBaseHpfTableModel::attachAdapter(CHpfTableAdapter* pAdapter)
{
    m_adapters.push_back(pAdapter);
}

void IBaseHpfTableModel::detachAdapter(CHpfTableAdapter* pAdapter)
{
    m_adapters.erase(std::remove(m_adapters.begin(), m_adapters.end(), pAdapter), m_adapters.end());
}

QString IBaseHpfTableModel::emptyText() const
{
    return QString();
}

bool IBaseHpfTableModel::isMultiSelection() const
{
    return false;
}

int IBaseHpfTableModel::rowHeight() const
{
    return 0;
}

IBaseHpfTableModel::ETableFlags IBaseHpfTableModel::tableFlags() const
{
    return TABLE_FLAG_NONE;
}

void IBaseHpfTableModel::removeDataByKey(const std::string& strKey)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    removeLocked(QString::fromStdString(strKey));
}

void IBaseHpfTableModel::clear()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rows.clear();
        m_journal.clear();
        ++m_nVersion;
        m_nJournalStart = m_nVersion; // every reader starts afresh, with nothing
    }
    setUpdated(true);
}

int IBaseHpfTableModel::customSort(const boost::shared_ptr<IBaseHpfTableData>&,
                                   const boost::shared_ptr<IBaseHpfTableData>&) const
{
    return 0;
}

void IBaseHpfTableModel::addData(const boost::shared_ptr<IBaseHpfTableData>& pData)
{
    if (!pData) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_rows.contains(pData->qsKey())) {
            if (!m_bReplaceSameKey) {
                return;
            }
            _updateData(pData);
        } else {
            _addData(pData);
        }
    }
    setUpdated(true);
}

void IBaseHpfTableModel::removeData(const boost::shared_ptr<IBaseHpfTableData>& pData)
{
    if (!pData) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    removeLocked(pData->qsKey());
}

boost::shared_ptr<IBaseHpfTableData> IBaseHpfTableModel::getDataByKey(const QString& strKey) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_rows.constFind(strKey);
    return it == m_rows.constEnd() ? boost::shared_ptr<IBaseHpfTableData>() : it->m_pData;
}

int IBaseHpfTableModel::rowCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rows.size();
}

IBaseHpfTableModel::EReadResult IBaseHpfTableModel::readChanges(uint64_t& nVersion,
                                                                std::vector<CChange>& changes)
{
    changes.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (nVersion == m_nVersion) {
            return READ_UP_TO_DATE;
        }
        const bool bInJournal = nVersion >= m_nJournalStart && nVersion < m_nVersion;
        if (bInJournal) {
            auto first = m_journal.begin() + static_cast<std::ptrdiff_t>(nVersion - m_nJournalStart);
            changes.assign(std::make_move_iterator(first), std::make_move_iterator(m_journal.end()));
        } else {
            changes.reserve(static_cast<size_t>(m_rows.size()));
            for (const CEntry& entry : qAsConst(m_rows)) {
                changes.push_back(CChange{CChange::ADDED, entry.m_pData, nullptr, entry.m_nSerial});
            }
        }
        // The journal serves one reader; another reader that falls behind reads everything instead.
        m_journal.clear();
        m_nJournalStart = m_nVersion;
        nVersion = m_nVersion;
        if (bInJournal) {
            return READ_CHANGES;
        }
    }
    // Sorted outside the lock, so that writers are not held up by a full read.
    std::sort(changes.begin(), changes.end(),
              [](const CChange& left, const CChange& right) { return left.m_nSerial < right.m_nSerial; });
    return READ_ALL;
}

void IBaseHpfTableModel::_addData(const boost::shared_ptr<IBaseHpfTableData>& pData)
{
    const uint64_t nSerial = m_nNextSerial++;
    m_rows.insert(pData->qsKey(), CEntry{pData, nSerial});
    record(CChange{CChange::ADDED, pData, nullptr, nSerial});
}

void IBaseHpfTableModel::_updateData(const boost::shared_ptr<IBaseHpfTableData>& pData)
{
    CEntry& entry = m_rows[pData->qsKey()];
    CChange change{CChange::REPLACED, pData, entry.m_pData, entry.m_nSerial};
    entry.m_pData = pData;
    record(std::move(change));
}

void IBaseHpfTableModel::removeLocked(const QString& strKey)
{
    auto it = m_rows.find(strKey);
    if (it == m_rows.end()) {
        return;
    }
    CChange change{CChange::REMOVED, it->m_pData, nullptr, it->m_nSerial};
    m_rows.erase(it);
    record(std::move(change));
    setUpdated(true);
}

void IBaseHpfTableModel::record(CChange&& change)
{
    ++m_nVersion;
    m_journal.push_back(std::move(change));
    if (m_journal.size() > static_cast<size_t>(m_rows.size()) + kJournalSlack) {
        m_journal.clear();
        m_nJournalStart = m_nVersion;
    }
}

} // namespace WQ
