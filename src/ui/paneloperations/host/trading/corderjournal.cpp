#include "trading/corderjournal.h"

#include "base/clogger.h"
#include "base/utils.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace TC {

namespace {

struct CColumn
{
    const char* pName;
    const char* pType;
};

// Outside tools read these tables, so names and columns only ever grow.
const CColumn s_orderColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"batch_id", "INTEGER NOT NULL"},
    {"placed_at", "TEXT NOT NULL"},
    {"seq", "TEXT"},
    {"strategy_no", "INTEGER"},
    {"order_type", "INTEGER"},
    {"account_type", "TEXT"},
    {"account_key", "TEXT"},
    {"broker_type", "TEXT"},
    {"stock_code", "TEXT"},
    {"volume", "INTEGER"},
    {"price", "REAL"},
    {"amount", "REAL"},
    {"price_type", "INTEGER"},
    {"algo_order_type", "INTEGER"},
    {"algo_text", "TEXT"},
    {"param_text", "TEXT"},
    {"dbf_price_text", "TEXT"},
    {"strategy_name", "TEXT"},
    {"note", "TEXT"},
    {"volume_text", "TEXT"},
    {"given_account_type", "TEXT"},
    {"zdcl_index", "INTEGER"},
    {"named_strategy", "INTEGER"},
    {"hedge_flag", "INTEGER"},
    {"counterpart", "TEXT"},
    {"trade_strategy_type", "INTEGER"},
    {"single_index", "INTEGER"},
    {"extra", "INTEGER"},
    {"strategy_flag", "INTEGER"},
};

const CColumn s_cancelColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"code", "TEXT"},
    {"account", "TEXT"},
    {"order_id", "TEXT"},
    {"by_number", "INTEGER NOT NULL"},
    {"placed_at", "TEXT NOT NULL"},
};

const CColumn s_taskColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"code", "TEXT"},
    {"argument", "TEXT"},
    {"placed_at", "TEXT NOT NULL"},
};

struct CTable
{
    const char* pName;
    const CColumn* pColumns;
    size_t nColumns;
};

const CTable s_tables[] = {
    {"orders", s_orderColumns, sizeof(s_orderColumns) / sizeof(s_orderColumns[0])},
    {"cancels", s_cancelColumns, sizeof(s_cancelColumns) / sizeof(s_cancelColumns[0])},
    {"tasks", s_taskColumns, sizeof(s_taskColumns) / sizeof(s_taskColumns[0])},
};

const char* const s_indexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_orders_batch ON orders(batch_id)",
    "CREATE INDEX IF NOT EXISTS idx_orders_strategy ON orders(strategy_no, batch_id)",
    "CREATE INDEX IF NOT EXISTS idx_cancels_placed ON cancels(placed_at)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_placed ON tasks(placed_at)",
};

QString createStatement(const CTable& table)
{
    QStringList columns;
    for (size_t i = 0; i < table.nColumns; ++i)
    {
        columns << QStringLiteral("%1 %2").arg(QLatin1String(table.pColumns[i].pName),
                                               QLatin1String(table.pColumns[i].pType));
    }
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(QLatin1String(table.pName), columns.join(QStringLiteral(", ")));
}

// Every column but the row id, as named placeholders.
QString insertStatement(const CTable& table)
{
    QStringList names;
    QStringList holders;
    for (size_t i = 1; i < table.nColumns; ++i)
    {
        names << QLatin1String(table.pColumns[i].pName);
        holders << QLatin1Char(':') + QLatin1String(table.pColumns[i].pName);
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QLatin1String(table.pName), names.join(QStringLiteral(", ")),
             holders.join(QStringLiteral(", ")));
}

// Text columns hold '' rather than NULL for an empty value; NULL is kept for "no single order".
QVariant textValue(const QString& str)
{
    return str.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(str);
}

QVariant textValue(const std::string& str)
{
    return textValue(QString::fromStdString(str));
}

QString nowText()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

std::atomic<int> s_nConnectionCounter{0};

} // namespace

// Owns the thread on which the journal's SQL connection lives: Qt SQL connections may only be used
// on the thread that opened them. Public calls come from any thread through call(); everything else
// runs on the worker thread only.
class COrderJournal::CWorker
{
public:
    CWorker()
        : m_thread([this] { run(); })
    {
    }

    ~CWorker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_cond.notify_one();
        m_thread.join();
    }

    CWorker(const CWorker&) = delete;
    CWorker& operator=(const CWorker&) = delete;

    // Runs fn on the worker thread and returns its result once it has run.
    template <class F>
    auto call(F&& fn) -> decltype(fn())
    {
        using R = decltype(fn());
        // The job owns the task, so the shared state outlives the worker's last touch of it; fn itself
        // may refer to the caller's frame, which waits below until fn has run.
        auto pTask = std::make_shared<std::packaged_task<R()>>(std::forward<F>(fn));
        std::future<R> result = pTask->get_future();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.emplace_back([pTask] { (*pTask)(); });
        }
        m_cond.notify_one();
        return result.get();
    }

    bool openDb(const QString& strPath, QString& strError);
    void closeDb();
    qint64 writeBatch(int nStrategyNo, const QVector<COrderParam>& orders);
    bool writeCancel(const std::string& strCode, const std::string& strAccount, const std::string& strOrderId,
                     bool bByNumber);
    bool writeTask(const std::string& strCode, const std::string& strArgument);

private:
    void run();
    bool exec(const QString& strSql, QString& strError);
    bool checkColumns(const CTable& table, QString& strError);
    void rollback(const char* pWhat);
    void logSqlError(const std::string& strWhat, const QSqlError& error) const;

    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<std::function<void()>> m_jobs;
    bool m_bStop = false;

    // Worker thread only.
    QString m_strPath;
    QString m_strConnection;
    QSqlDatabase m_db;
    std::unique_ptr<QSqlQuery> m_pInsertOrder;
    std::unique_ptr<QSqlQuery> m_pInsertCancel;
    std::unique_ptr<QSqlQuery> m_pInsertTask;

    // Last member: the thread starts once everything it touches exists.
    std::thread m_thread;
};

void COrderJournal::CWorker::run()
{
    utils::setThreadName("order_journal");
    for (;;)
    {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cond.wait(lock, [this] { return m_bStop || !m_jobs.empty(); });
            if (m_jobs.empty())
            {
                break;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
    // A journal destroyed without close() still lets go of its connection here, on its own thread.
    closeDb();
}

bool COrderJournal::CWorker::exec(const QString& strSql, QString& strError)
{
    QSqlQuery query(m_db);
    if (!query.exec(strSql))
    {
        strError = query.lastError().text();
        return false;
    }
    return true;
}

void COrderJournal::CWorker::logSqlError(const std::string& strWhat, const QSqlError& error) const
{
    LOG4CXX_ERROR(g_TTStdLogger, fmt::format("order journal {0}: {1}: {2}", m_strPath.toStdString(), strWhat,
                                             error.text().toStdString()));
}

void COrderJournal::CWorker::rollback(const char* pWhat)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("ROLLBACK")))
    {
        logSqlError(fmt::format("rollback of {0} failed", pWhat), query.lastError());
    }
}

bool COrderJournal::CWorker::checkColumns(const CTable& table, QString& strError)
{
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table.pName))))
    {
        strError = query.lastError().text();
        return false;
    }
    QSet<QString> present;
    while (query.next())
    {
        present.insert(query.value(1).toString());
    }
    for (size_t i = 0; i < table.nColumns; ++i)
    {
        if (!present.contains(QLatin1String(table.pColumns[i].pName)))
        {
            strError = QStringLiteral("table %1 has no column %2; the file belongs to something else")
                           .arg(QLatin1String(table.pName), QLatin1String(table.pColumns[i].pName));
            return false;
        }
    }
    return true;
}

bool COrderJournal::CWorker::openDb(const QString& strPath, QString& strError)
{
    m_strPath = strPath;
    auto fail = [&](const QString& strReason) {
        strError = QStringLiteral("order journal %1: %2").arg(strPath, strReason);
        closeDb();
        return false;
    };

    if (strPath.trimmed().isEmpty())
    {
        return fail(QStringLiteral("no database file given"));
    }
    const bool bInMemory = strPath == QLatin1String(":memory:");
    const QFileInfo info(strPath);
    const QDir dir = info.absoluteDir();
    if (!bInMemory && !dir.exists())
    {
        return fail(
            QStringLiteral("the directory %1 does not exist").arg(QDir::toNativeSeparators(dir.path())));
    }
    if (!bInMemory && info.exists() && !info.isFile())
    {
        return fail(info.isDir() ? QStringLiteral("is a directory") : QStringLiteral("not a regular file"));
    }
    // SQLite quietly falls back to read-only access, so say so before it fails on the first write.
    if (!bInMemory && info.exists() && !info.isWritable())
    {
        return fail(QStringLiteral("the file is read-only"));
    }
    if (!bInMemory && !info.exists() && !QFileInfo(dir.path()).isWritable())
    {
        return fail(
            QStringLiteral("the directory %1 is read-only").arg(QDir::toNativeSeparators(dir.path())));
    }

    m_strConnection = QStringLiteral("order_journal_%1").arg(++s_nConnectionCounter);
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
    if (!m_db.isValid())
    {
        return fail(QStringLiteral("the SQLite driver of Qt (QSQLITE) is not available"));
    }
    m_db.setDatabaseName(strPath);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open())
    {
        return fail(QStringLiteral("cannot open the file: %1").arg(m_db.lastError().text()));
    }

    // The first statement reads the file header: a file of another kind fails here.
    QString strSqlError;
    QSqlQuery mode(m_db);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next())
    {
        return fail(QStringLiteral("not a usable database: %1").arg(mode.lastError().text()));
    }
    const QString strMode = mode.value(0).toString().toLower();
    if (strMode != QLatin1String("wal") && !(bInMemory && strMode == QLatin1String("memory")))
    {
        return fail(
            QStringLiteral("cannot switch to write-ahead logging (mode is %1); the file may be read-only")
                .arg(strMode));
    }
    mode.finish();
    if (!exec(QStringLiteral("PRAGMA synchronous=NORMAL"), strSqlError))
    {
        return fail(QStringLiteral("cannot set synchronous mode: %1").arg(strSqlError));
    }

    if (!exec(QStringLiteral("BEGIN IMMEDIATE"), strSqlError))
    {
        return fail(QStringLiteral("cannot write: %1").arg(strSqlError));
    }
    for (const CTable& table : s_tables)
    {
        if (!exec(createStatement(table), strSqlError))
        {
            rollback("table creation");
            return fail(
                QStringLiteral("cannot create table %1: %2").arg(QLatin1String(table.pName), strSqlError));
        }
    }
    // A file of another program may hold tables of the same names: leave it as it was.
    for (const CTable& table : s_tables)
    {
        if (!checkColumns(table, strSqlError))
        {
            rollback("table creation");
            return fail(strSqlError);
        }
    }
    for (const char* pIndex : s_indexes)
    {
        if (!exec(QLatin1String(pIndex), strSqlError))
        {
            rollback("index creation");
            return fail(QStringLiteral("cannot create an index: %1").arg(strSqlError));
        }
    }
    if (!exec(QStringLiteral("COMMIT"), strSqlError))
    {
        rollback("table creation");
        return fail(QStringLiteral("cannot create the tables: %1").arg(strSqlError));
    }
    const QString statements[] = {insertStatement(s_tables[0]), insertStatement(s_tables[1]),
                                  insertStatement(s_tables[2])};
    std::unique_ptr<QSqlQuery>* queries[] = {&m_pInsertOrder, &m_pInsertCancel, &m_pInsertTask};
    for (int i = 0; i < 3; ++i)
    {
        *queries[i] = std::make_unique<QSqlQuery>(m_db);
        if (!(*queries[i])->prepare(statements[i]))
        {
            return fail(QStringLiteral("cannot prepare an insert into %1: %2")
                            .arg(QLatin1String(s_tables[i].pName), (*queries[i])->lastError().text()));
        }
    }
    LOG4CXX_INFO(g_TTStdLogger, fmt::format("order journal opened: {0}", strPath.toStdString()));
    return true;
}

void COrderJournal::CWorker::closeDb()
{
    if (m_strConnection.isEmpty())
    {
        return;
    }
    // Every query and handle of the connection must be gone before it is removed.
    m_pInsertOrder.reset();
    m_pInsertCancel.reset();
    m_pInsertTask.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_strConnection);
    m_strConnection.clear();
}

qint64 COrderJournal::CWorker::writeBatch(int nStrategyNo, const QVector<COrderParam>& orders)
{
    QSqlQuery begin(m_db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
    {
        logSqlError("cannot start a batch", begin.lastError());
        return -1;
    }
    // Taken inside the write transaction, so the id is unique even with another writer on the file.
    QSqlQuery next(m_db);
    if (!next.exec(QStringLiteral("SELECT COALESCE(MAX(batch_id), 0) + 1 FROM orders")) || !next.next())
    {
        logSqlError("cannot number a batch", next.lastError());
        rollback("a batch");
        return -1;
    }
    const qint64 nBatchId = next.value(0).toLongLong();
    next.finish();

    const QString strPlacedAt = nowText();
    QSqlQuery& insert = *m_pInsertOrder;
    insert.bindValue(QStringLiteral(":batch_id"), nBatchId);
    insert.bindValue(QStringLiteral(":placed_at"), strPlacedAt);
    insert.bindValue(QStringLiteral(":strategy_no"), nStrategyNo);
    for (int nOrder = 0; nOrder < orders.size(); ++nOrder)
    {
        const COrderParam& order = orders[nOrder];
        insert.bindValue(QStringLiteral(":seq"), textValue(order.m_strSeq));
        insert.bindValue(QStringLiteral(":order_type"), order.m_nOrderType);
        insert.bindValue(QStringLiteral(":account_type"), textValue(order.m_strAccountType));
        insert.bindValue(QStringLiteral(":account_key"), textValue(order.m_strAccountKey));
        insert.bindValue(QStringLiteral(":broker_type"), textValue(order.m_strBrokerType));
        insert.bindValue(QStringLiteral(":algo_order_type"), order.m_nAlgoOrderType);
        insert.bindValue(QStringLiteral(":algo_text"), textValue(order.m_strAlgoText));
        // The parameter text arrives in the local 8-bit encoding; the column is plain text.
        insert.bindValue(QStringLiteral(":param_text"),
                         textValue(QString::fromLocal8Bit(order.m_strParamText.data(),
                                                          static_cast<int>(order.m_strParamText.size()))));
        insert.bindValue(QStringLiteral(":dbf_price_text"), textValue(order.m_strDbfPriceText));
        insert.bindValue(QStringLiteral(":strategy_name"), textValue(order.m_strStrategyName));
        insert.bindValue(QStringLiteral(":note"), textValue(order.m_strNote));
        insert.bindValue(QStringLiteral(":volume_text"), textValue(order.m_strVolumeText));
        insert.bindValue(QStringLiteral(":given_account_type"), textValue(order.m_strGivenAccountType));
        insert.bindValue(QStringLiteral(":zdcl_index"), order.m_nZdclIndex);
        insert.bindValue(QStringLiteral(":named_strategy"), order.m_bNamedStrategy ? 1 : 0);
        insert.bindValue(QStringLiteral(":hedge_flag"), order.m_nHedgeFlag);
        insert.bindValue(QStringLiteral(":counterpart"), textValue(order.m_strCounterpart));
        insert.bindValue(QStringLiteral(":trade_strategy_type"), order.m_nTradeStrategyType);
        insert.bindValue(QStringLiteral(":strategy_flag"), order.m_nStrategyFlag);

        // An order without single orders still gets a row, so nothing handed over is invisible.
        const int nRows = std::max(1, order.m_singleParams.size());
        for (int nSingle = 0; nSingle < nRows; ++nSingle)
        {
            if (order.m_singleParams.isEmpty())
            {
                insert.bindValue(QStringLiteral(":single_index"), QVariant(QVariant::Int));
                insert.bindValue(QStringLiteral(":stock_code"), QVariant(QVariant::String));
                insert.bindValue(QStringLiteral(":volume"), QVariant(QVariant::Int));
                insert.bindValue(QStringLiteral(":price"), QVariant(QVariant::Double));
                insert.bindValue(QStringLiteral(":amount"), QVariant(QVariant::Double));
                insert.bindValue(QStringLiteral(":extra"), QVariant(QVariant::Int));
                insert.bindValue(QStringLiteral(":price_type"), QVariant(QVariant::Int));
            }
            else
            {
                const COrderSingleParam& single = order.m_singleParams[nSingle];
                insert.bindValue(QStringLiteral(":single_index"), nSingle);
                insert.bindValue(QStringLiteral(":stock_code"), textValue(single.m_strStockCode));
                insert.bindValue(QStringLiteral(":volume"), single.m_nVolume);
                insert.bindValue(QStringLiteral(":price"), single.m_dPrice);
                insert.bindValue(QStringLiteral(":amount"), single.m_dAmount);
                insert.bindValue(QStringLiteral(":extra"), single.m_nExtra);
                insert.bindValue(QStringLiteral(":price_type"), single.m_nPriceType);
            }
            if (!insert.exec())
            {
                logSqlError(fmt::format("batch {0} rolled back: order {1} of {2}, single order {3}", nBatchId,
                                        nOrder, orders.size(), nSingle),
                            insert.lastError());
                rollback("a batch");
                return -1;
            }
        }
    }

    QSqlQuery commit(m_db);
    if (!commit.exec(QStringLiteral("COMMIT")))
    {
        logSqlError(fmt::format("batch {0} could not be committed", nBatchId), commit.lastError());
        rollback("a batch");
        return -1;
    }
    return nBatchId;
}

bool COrderJournal::CWorker::writeCancel(const std::string& strCode, const std::string& strAccount,
                                         const std::string& strOrderId, bool bByNumber)
{
    QSqlQuery& insert = *m_pInsertCancel;
    insert.bindValue(QStringLiteral(":code"), textValue(strCode));
    insert.bindValue(QStringLiteral(":account"), textValue(strAccount));
    insert.bindValue(QStringLiteral(":order_id"), textValue(strOrderId));
    insert.bindValue(QStringLiteral(":by_number"), bByNumber ? 1 : 0);
    insert.bindValue(QStringLiteral(":placed_at"), nowText());
    if (!insert.exec())
    {
        logSqlError(fmt::format("cancel of order {0} not recorded", strOrderId), insert.lastError());
        return false;
    }
    return true;
}

bool COrderJournal::CWorker::writeTask(const std::string& strCode, const std::string& strArgument)
{
    QSqlQuery& insert = *m_pInsertTask;
    insert.bindValue(QStringLiteral(":code"), textValue(strCode));
    insert.bindValue(QStringLiteral(":argument"), textValue(strArgument));
    insert.bindValue(QStringLiteral(":placed_at"), nowText());
    if (!insert.exec())
    {
        logSqlError(fmt::format("task {0} not recorded", strCode), insert.lastError());
        return false;
    }
    return true;
}

COrderJournal::COrderJournal() = default;

COrderJournal::~COrderJournal()
{
    close();
}

bool COrderJournal::open(const QString& strDbPath, QString& strError)
{
    std::unique_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker)
    {
        m_pWorker->call([this] { m_pWorker->closeDb(); });
        m_pWorker.reset();
    }
    auto pWorker = std::make_unique<CWorker>();
    CWorker* pRaw = pWorker.get();
    if (!pRaw->call([&] { return pRaw->openDb(strDbPath, strError); }))
    {
        LOG4CXX_ERROR(g_TTStdLogger, strError.toStdString());
        return false;
    }
    m_pWorker = std::move(pWorker);
    return true;
}

void COrderJournal::close()
{
    std::unique_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker)
    {
        m_pWorker->call([this] { m_pWorker->closeDb(); });
        m_pWorker.reset();
    }
}

qint64 COrderJournal::recordBatch(int nStrategyNo, const QVector<COrderParam>& orders)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker)
    {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("order journal not open: batch of {0} orders of strategy {1} "
                                  "not recorded",
                                  orders.size(), nStrategyNo));
        m_sigRecordFailed(RECORD_BATCH, orders.size());
        return -1;
    }
    if (orders.isEmpty())
    {
        LOG4CXX_WARN(g_TTStdLogger,
                     fmt::format("order journal: empty batch of strategy {0} ignored", nStrategyNo));
        return -1;
    }
    const qint64 nBatchId = m_pWorker->call([&] { return m_pWorker->writeBatch(nStrategyNo, orders); });
    if (nBatchId < 0)
        m_sigRecordFailed(RECORD_BATCH, orders.size());
    return nBatchId;
}

bool COrderJournal::recordCancel(const std::string& strCode, const std::string& strAccount,
                                 const std::string& strOrderId, bool bByNumber)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker)
    {
        LOG4CXX_ERROR(
            g_TTStdLogger,
            fmt::format("order journal not open: cancel {0} of order {1} not recorded", strCode, strOrderId));
        m_sigRecordFailed(RECORD_CANCEL, 1);
        return false;
    }
    const bool bWritten =
        m_pWorker->call([&] { return m_pWorker->writeCancel(strCode, strAccount, strOrderId, bByNumber); });
    if (!bWritten)
        m_sigRecordFailed(RECORD_CANCEL, 1);
    return bWritten;
}

bool COrderJournal::recordTask(const std::string& strCode, const std::string& strArgument)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker)
    {
        LOG4CXX_ERROR(g_TTStdLogger, fmt::format("order journal not open: task {0} ({1}) not recorded",
                                                 strCode, strArgument));
        m_sigRecordFailed(RECORD_TASK, 1);
        return false;
    }
    const bool bWritten = m_pWorker->call([&] { return m_pWorker->writeTask(strCode, strArgument); });
    if (!bWritten)
        m_sigRecordFailed(RECORD_TASK, 1);
    return bWritten;
}

} // namespace TC
