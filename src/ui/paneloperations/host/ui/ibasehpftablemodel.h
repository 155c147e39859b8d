#pragma once

#include "ui/ibasehpftabledata.h"

#include <boost/shared_ptr.hpp>

#include <QFlags>
#include <QHash>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace WQ {

class CHpfTableAdapter;

// The rows of a host table, stored by qsKey, and the table's column definition (supplied by the derived
// model). Rows are added and removed from any thread; the table reads them on the GUI thread. Every
// change happens under the model's lock and sets the updated flag, which stays set until
// setUpdated(false); the table picks up exactly the changes made since its last refresh. A model may be
// destroyed (on the GUI thread) before the tables showing it: they then show nothing.
class IBaseHpfTableModel
{
public:
    enum ETableFlag
    {
        TABLE_FLAG_NONE = 0,
        TABLE_FLAG_NO_GRID = 1,        // no grid lines between the cells
        TABLE_FLAG_ALTERNATE_ROWS = 2, // every other row on the alternate background
    };
    Q_DECLARE_FLAGS(ETableFlags, ETableFlag)

    // One change to the rows, as a refreshing table sees it. m_nSerial orders rows by arrival: a new row
    // gets a new serial, a replaced row keeps the serial of the row it replaces.
    struct CChange
    {
        enum EKind
        {
            ADDED,
            REPLACED,
            REMOVED,
        };
        EKind m_eKind = ADDED;
        boost::shared_ptr<IBaseHpfTableData> m_pData; // the new row; the removed one for REMOVED
        boost::shared_ptr<IBaseHpfTableData> m_pOld;  // for REPLACED: the row replaced
        uint64_t m_nSerial = 0;
    };
    enum EReadResult
    {
        READ_UP_TO_DATE, // nothing changed
        READ_CHANGES,    // the changes since the version given
        READ_ALL,        // every row, as ADDED changes in arrival order: start afresh
    };

    // bReplaceSameKey: addData with the key of a stored row replaces that row (true) or is ignored.
    explicit IBaseHpfTableModel(bool bReplaceSameKey);
    virtual ~IBaseHpfTableModel();
    IBaseHpfTableModel(const IBaseHpfTableModel&) = delete;
    IBaseHpfTableModel& operator=(const IBaseHpfTableModel&) = delete;

    virtual int columnCount() const = 0;
    virtual QString columnName(int nColumn) const = 0;
    // The column's value type, a QVariant::Type number; sorting compares the matching typed values.
    virtual int columnType(int nColumn) const = 0;
    // Shown in the middle of the table while it has no rows ("" for nothing).
    virtual QString emptyText() const;
    // Whether several rows can be selected at once.
    virtual bool isMultiSelection() const;
    // Row height in pixels; 0 for the resource height.
    virtual int rowHeight() const;
    virtual ETableFlags tableFlags() const;

    virtual void removeDataByKey(const std::string& strKey);
    virtual void clear();
    // Order of two rows for sorting: negative, positive, or 0 to fall back on the column's values.
    virtual int customSort(const boost::shared_ptr<IBaseHpfTableData>& pLeft,
                           const boost::shared_ptr<IBaseHpfTableData>& pRight) const;

    void addData(const boost::shared_ptr<IBaseHpfTableData>& pData);
    void removeData(const boost::shared_ptr<IBaseHpfTableData>& pData);
    // Null when no row has the key.
    boost::shared_ptr<IBaseHpfTableData> getDataByKey(const QString& strKey) const;
    int rowCount() const;

    bool updated() const { return m_bUpdated.load(std::memory_order_acquire); }
    void setUpdated(bool bUpdated) { m_bUpdated.store(bUpdated, std::memory_order_release); }

    // For the table: the changes after nVersion, which becomes the current version.
    EReadResult readChanges(uint64_t& nVersion, std::vector<CChange>& changes);

protected:
    // Storage of a new row and of a row replacing the stored row with the same key; called with the
    // model's lock held.
    virtual void _addData(const boost::shared_ptr<IBaseHpfTableData>& pData);
    virtual void _updateData(const boost::shared_ptr<IBaseHpfTableData>& pData);

private:
    friend class CHpfTableAdapter;
    void attachAdapter(CHpfTableAdapter* pAdapter);
    void detachAdapter(CHpfTableAdapter* pAdapter);

    struct CEntry
    {
        boost::shared_ptr<IBaseHpfTableData> m_pData;
        uint64_t m_nSerial = 0;
    };

    void removeLocked(const QString& strKey);
    void record(CChange&& change);

    const bool m_bReplaceSameKey;
    mutable std::mutex m_mutex;
    QHash<QString, CEntry> m_rows;
    // Changes not yet read by the table. Versions count changes: the journal holds those after
    // m_nJournalStart up to m_nVersion.
    std::vector<CChange> m_journal;
    uint64_t m_nVersion = 0;
    uint64_t m_nJournalStart = 0;
    uint64_t m_nNextSerial = 0;
    std::atomic<bool> m_bUpdated{false};
    std::vector<CHpfTableAdapter*> m_adapters; // GUI thread only
};

Q_DECLARE_OPERATORS_FOR_FLAGS(IBaseHpfTableModel::ETableFlags)

} // namespace WQ
