#include "cjournalview.h"

#include "cjournalentry.h"
#include "cjournaltablemodel.h"

#include "base/clogger.h"
#include "config/accountlookup.h"
#include "config/cuserconfig.h"
#include "trading/pricetypes.h"
#include "ui/cstandardhpftable.h"

#include <boost/make_shared.hpp>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace TC {

namespace {

std::atomic<int> s_nConnectionCounter{0};

const char* const s_szTables[] = {"orders", "cancels", "tasks"};

// The columns read per source, the row id first, the time second.
const char* const s_szColumns[] = {
    "id, placed_at, batch_id, account_key, stock_code, volume, price, price_type, note",
    "id, placed_at, account, code, order_id, by_number",
    "id, placed_at, code, argument",
};

// An account as the panel shows it (its display id) rather than the full account key the broker keeps.
QString accountText(const QString& strKey)
{
    const CUserConfig* pConfig = getUserConfig();
    if (const auto pAccount = pConfig ? pConfig->getAccountData(strKey) : nullptr) {
        return accountDisplayIDQs(*pAccount);
    }
    // A key of one centre of a dual-centre account: its last field is the account id.
    return strKey.section(QStringLiteral("____"), -1);
}

} // namespace

CJournalView::CJournalView(const QString& strDbPath, QWidget* pParent)
    : WQ::CBaseWidget(QStringLiteral("journal"), true, pParent), m_strDbPath(strDbPath),
      m_strConnection(QStringLiteral("journal_view_%1").arg(s_nConnectionCounter.fetch_add(1)))
{
    m_pModel = new CJournalTableModel();
    m_pTable = new WQ::CStandardHpfTable(1, this, WQ::CStandardHpfTable::MENU_ALL);
    m_pTable->setDataModel(m_pModel);
    m_pTable->sortByColumn(CJournalEntry::COLUMN_SERIAL, Qt::DescendingOrder);
    m_pTable->setColumnVisible(CJournalEntry::COLUMN_SERIAL, false);
    setContentWidget(m_pTable, 0, 0, 0, 0, true);

    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, &CJournalView::onTimer);
    m_pTimer->start(kPollIntervalMs);
    onTimer();
}

CJournalView::~CJournalView()
{
    // The table goes before the model it shows.
    delete m_pTable;
    m_pTable = nullptr;
    delete m_pModel;
    if (m_bOpen) {
        QSqlDatabase::database(m_strConnection, false).close();
    }
    QSqlDatabase::removeDatabase(m_strConnection);
}

bool CJournalView::ensureOpen()
{
    if (m_bOpen) {
        return true;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
    db.setDatabaseName(m_strDbPath);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=50"));
    m_bOpen = db.open();
    if (!m_bOpen && !m_bOpenFailureLogged && g_TTStdLogger->isErrorEnabled()) {
        m_bOpenFailureLogged = true;
        LOG4CXX_ERROR(g_TTStdLogger, "journal view: cannot read " << m_strDbPath.toStdString() << ": "
                                                                  << db.lastError().text().toStdString());
    }
    return m_bOpen;
}

void CJournalView::onTimer()
{
    if (poll()) {
        // The rest in later turns of the event loop, after the input and painting waiting now.
        QTimer::singleShot(0, this, &CJournalView::onTimer);
    }
}

bool CJournalView::poll()
{
    if (!ensureOpen()) {
        return false;
    }
    std::vector<boost::shared_ptr<CJournalEntry>> entries;
    bool bMore = false;
    for (int nSource = 0; nSource < SOURCE_COUNT; ++nSource) {
        bMore = readSource(static_cast<ESource>(nSource), entries) || bMore;
    }
    if (entries.empty()) {
        return bMore;
    }
    // One order of arrival across the three tables: by the time the broker was handed each.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& pLeft, const auto& pRight) {
        return pLeft->m_strTime < pRight->m_strTime;
    });
    for (const auto& pEntry : entries) {
        pEntry->m_nSerial = m_nNextSerial++;
        m_pModel->addData(pEntry);
        m_entries.push_back(pEntry);
    }
    while (m_entries.size() > static_cast<size_t>(kKeptEntries)) {
        m_pModel->removeData(m_entries.front());
        m_entries.pop_front();
    }
    m_pTable->updateTable();
    return bMore;
}

bool CJournalView::readSource(ESource eSource, std::vector<boost::shared_ptr<CJournalEntry>>& entries)
{
    QSqlDatabase db = QSqlDatabase::database(m_strConnection, false);
    const QString strTable = QString::fromLatin1(s_szTables[eSource]);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT max(id) FROM %1").arg(strTable)) || !query.next()) {
        return false; // busy or not there yet: the next poll tries again
    }
    const long long nMax = query.value(0).toLongLong();
    long long& nLast = m_nLastIds[eSource];
    if (nMax <= nLast) {
        return false;
    }
    // Entries older than the newest kept ones would only be dropped again.
    const long long nFrom = std::max(nLast, nMax - kKeptEntries);
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE id > ? ORDER BY id LIMIT ?")
                      .arg(QLatin1String(s_szColumns[eSource]), strTable));
    query.addBindValue(nFrom);
    query.addBindValue(kChunk);
    if (!query.exec()) {
        return false;
    }
    nLast = nFrom;
    while (query.next()) {
        auto pEntry = boost::make_shared<CJournalEntry>();
        nLast = query.value(0).toLongLong();
        pEntry->m_strTime = query.value(1).toString();
        switch (eSource) {
        case SOURCE_ORDERS:
            pEntry->m_strKind = QStringLiteral("委托");
            pEntry->m_nBatchId = query.value(2).toLongLong();
            pEntry->m_strAccount = accountText(query.value(3).toString());
            pEntry->m_strCode = query.value(4).toString();
            pEntry->m_nVolume = query.value(5).toLongLong();
            pEntry->m_bHasPrice = !query.value(6).isNull();
            pEntry->m_dPrice = query.value(6).toDouble();
            pEntry->m_strPriceType =
                ttPriceTypeToString(query.value(7).toInt(), pEntry->m_strCode.toStdString(), false);
            pEntry->m_strNote = query.value(8).toString();
            break;
        case SOURCE_CANCELS:
            // The journal's code of a cancel or a task is the instruction's ORDER_TYPE, not an instrument.
            pEntry->m_strKind = QStringLiteral("撤单");
            pEntry->m_strAccount = accountText(query.value(2).toString());
            pEntry->m_strNote =
                QStringLiteral("%1 %2 (%3)")
                    .arg(query.value(5).toBool() ? QStringLiteral("按合同编号撤") : QStringLiteral("撤委托"),
                         query.value(4).toString(), query.value(3).toString());
            break;
        case SOURCE_TASKS:
            pEntry->m_strKind = QStringLiteral("任务");
            pEntry->m_strNote =
                QStringLiteral("%1 %2").arg(query.value(2).toString(), query.value(3).toString());
            break;
        case SOURCE_COUNT:
            break;
        }
        entries.push_back(pEntry);
    }
    return nLast < nMax;
}

} // namespace TC
