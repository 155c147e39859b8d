#pragma once

#include "ui/cbasewidget.h"

#include <boost/shared_ptr.hpp>

#include <QString>

#include <deque>

class QTimer;

namespace WQ {
class CStandardHpfTable;
class IBaseHpfTableData;
} // namespace WQ

namespace TC {

class CJournalTableModel;

// The paper broker's journal as a live table, newest first: the orders, cancels and operation tasks it
// was handed. Reads the journal database through a read-only connection of its own on the GUI thread,
// polling the tables' highest row ids, a bounded chunk per turn of the event loop so that a flood of
// orders never stalls the window, and keeps only the newest entries. GUI thread only.
class CJournalView : public WQ::CBaseWidget
{
    Q_OBJECT

public:
    static constexpr int kKeptEntries = 10000;
    static constexpr int kChunk = 500;
    static constexpr int kPollIntervalMs = 500;

    CJournalView(const QString& strDbPath, QWidget* pParent = nullptr);
    ~CJournalView() override;

    // Reads up to a chunk of each journal table committed since the last read and shows it; true when
    // more is waiting.
    bool poll();
    WQ::CStandardHpfTable* table() const { return m_pTable; }

private:
    enum ESource
    {
        SOURCE_ORDERS,
        SOURCE_CANCELS,
        SOURCE_TASKS,
        SOURCE_COUNT
    };

    bool ensureOpen();
    void onTimer();
    // Appends the source's rows after m_nLastIds[eSource] (at most a chunk); true when more remain.
    bool readSource(ESource eSource, std::vector<boost::shared_ptr<class CJournalEntry>>& entries);

    QString m_strDbPath;
    QString m_strConnection;
    bool m_bOpen = false;
    bool m_bOpenFailureLogged = false;
    long long m_nLastIds[SOURCE_COUNT] = {0, 0, 0};
    long long m_nNextSerial = 1;
    CJournalTableModel* m_pModel = nullptr;
    WQ::CStandardHpfTable* m_pTable = nullptr;
    QTimer* m_pTimer = nullptr;
    std::deque<boost::shared_ptr<WQ::IBaseHpfTableData>> m_entries; // oldest first
};

} // namespace TC
