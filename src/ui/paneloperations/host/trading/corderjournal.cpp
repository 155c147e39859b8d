#include "trading/corderjournal.h"

#include "base/clogger.h"
#include "base/utils.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fmt/format.h>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TC {

namespace {

struct CColumn
{
    const char* pName;
    const char* pType;
    bool bAddedLater = false; // added to existing files at open with ALTER TABLE
};

// Outside tools read these tables, so names and columns only ever grow.
constexpr CColumn s_orderColumns[] = {
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
    // The instruction line the order came from: receipt_sources.id and the line's number; NULL for an
    // order without receipts. Written with the batch, so "was this line placed?" is answered atomically.
    {"source_id", "INTEGER", true},
    {"source_line", "INTEGER", true},
};

constexpr CColumn s_cancelColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"code", "TEXT"},
    {"account", "TEXT"},
    {"order_id", "TEXT"},
    {"by_number", "INTEGER NOT NULL"},
    {"placed_at", "TEXT NOT NULL"},
};

constexpr CColumn s_taskColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"code", "TEXT"},
    {"argument", "TEXT"},
    {"placed_at", "TEXT NOT NULL"},
};

constexpr CColumn s_receiptColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"at", "TEXT NOT NULL"},
    {"source", "TEXT NOT NULL"},
    {"sha256", "TEXT NOT NULL"},
    {"line", "INTEGER NOT NULL"},
    {"state", "TEXT NOT NULL"},
    {"batch_id", "INTEGER"},
    {"reason", "TEXT"},
    {"text", "TEXT"},
    {"path", "TEXT"},
};

// One row per start that closed the lines left open before it: the receipts before first_receipt_id
// and the orders before first_order_id hold no open line, so the next start looks only at rows from
// there on, without an index. Source ids up to last_source_id were handed out before that start.
constexpr CColumn s_receiptStartColumns[] = {
    {"id", "INTEGER PRIMARY KEY"},
    {"at", "TEXT NOT NULL"},
    {"first_receipt_id", "INTEGER NOT NULL"},
    {"first_order_id", "INTEGER", true},
    {"last_source_id", "INTEGER", true},
};

// One row per instruction file or text whose receipts were written: the id its orders rows link to.
constexpr CColumn s_receiptSourceColumns[] = {
    {"id", "INTEGER PRIMARY KEY"}, {"sha256", "TEXT NOT NULL"}, {"source", "TEXT NOT NULL"}, {"path", "TEXT"},
    {"taken_at", "TEXT NOT NULL"},
};

struct CTable
{
    const char* pName;
    const CColumn* pColumns;
    size_t nColumns;
};

const CTable s_tables[] = {
    {"orders", s_orderColumns, std::size(s_orderColumns)},
    {"cancels", s_cancelColumns, std::size(s_cancelColumns)},
    {"tasks", s_taskColumns, std::size(s_taskColumns)},
    {"receipts", s_receiptColumns, std::size(s_receiptColumns)},
    {"receipt_starts", s_receiptStartColumns, std::size(s_receiptStartColumns)},
    {"receipt_sources", s_receiptSourceColumns, std::size(s_receiptSourceColumns)},
};
const CTable& s_receiptTable = s_tables[3];

const char* const s_indexes[] = {
    "CREATE INDEX IF NOT EXISTS idx_orders_batch ON orders(batch_id)",
    // Every order here comes from one strategy: an index by strategy cost each row an insert and served
    // no query. Files made before lose it.
    "DROP INDEX IF EXISTS idx_orders_strategy",
    "CREATE INDEX IF NOT EXISTS idx_cancels_placed ON cancels(placed_at)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_placed ON tasks(placed_at)",
};

// The parameter number of a column in the table's insert (see insertStatement): its position in the
// table. Only used to initialise constants, so an unknown name fails to compile.
template <size_t N> constexpr int param(const CColumn (&columns)[N], std::string_view name)
{
    for (size_t i = 1; i < N; ++i) {
        if (name == columns[i].pName) {
            return static_cast<int>(i);
        }
    }
    throw std::logic_error("no such column");
}

namespace orders {
constexpr int kBatchId = param(s_orderColumns, "batch_id");
constexpr int kPlacedAt = param(s_orderColumns, "placed_at");
constexpr int kSeq = param(s_orderColumns, "seq");
constexpr int kStrategyNo = param(s_orderColumns, "strategy_no");
constexpr int kOrderType = param(s_orderColumns, "order_type");
constexpr int kAccountType = param(s_orderColumns, "account_type");
constexpr int kAccountKey = param(s_orderColumns, "account_key");
constexpr int kBrokerType = param(s_orderColumns, "broker_type");
constexpr int kStockCode = param(s_orderColumns, "stock_code");
constexpr int kVolume = param(s_orderColumns, "volume");
constexpr int kPrice = param(s_orderColumns, "price");
constexpr int kAmount = param(s_orderColumns, "amount");
constexpr int kPriceType = param(s_orderColumns, "price_type");
constexpr int kAlgoOrderType = param(s_orderColumns, "algo_order_type");
constexpr int kAlgoText = param(s_orderColumns, "algo_text");
constexpr int kParamText = param(s_orderColumns, "param_text");
constexpr int kDbfPriceText = param(s_orderColumns, "dbf_price_text");
constexpr int kStrategyName = param(s_orderColumns, "strategy_name");
constexpr int kNote = param(s_orderColumns, "note");
constexpr int kVolumeText = param(s_orderColumns, "volume_text");
constexpr int kGivenAccountType = param(s_orderColumns, "given_account_type");
constexpr int kZdclIndex = param(s_orderColumns, "zdcl_index");
constexpr int kNamedStrategy = param(s_orderColumns, "named_strategy");
constexpr int kHedgeFlag = param(s_orderColumns, "hedge_flag");
constexpr int kCounterpart = param(s_orderColumns, "counterpart");
constexpr int kTradeStrategyType = param(s_orderColumns, "trade_strategy_type");
constexpr int kSingleIndex = param(s_orderColumns, "single_index");
constexpr int kExtra = param(s_orderColumns, "extra");
constexpr int kStrategyFlag = param(s_orderColumns, "strategy_flag");
constexpr int kSourceId = param(s_orderColumns, "source_id");
constexpr int kSourceLine = param(s_orderColumns, "source_line");
} // namespace orders

namespace cancels {
constexpr int kCode = param(s_cancelColumns, "code");
constexpr int kAccount = param(s_cancelColumns, "account");
constexpr int kOrderId = param(s_cancelColumns, "order_id");
constexpr int kByNumber = param(s_cancelColumns, "by_number");
constexpr int kPlacedAt = param(s_cancelColumns, "placed_at");
} // namespace cancels

namespace tasks {
constexpr int kCode = param(s_taskColumns, "code");
constexpr int kArgument = param(s_taskColumns, "argument");
constexpr int kPlacedAt = param(s_taskColumns, "placed_at");
} // namespace tasks

namespace receipts {
constexpr int kAt = param(s_receiptColumns, "at");
constexpr int kSource = param(s_receiptColumns, "source");
constexpr int kSha256 = param(s_receiptColumns, "sha256");
constexpr int kLine = param(s_receiptColumns, "line");
constexpr int kState = param(s_receiptColumns, "state");
constexpr int kBatchId = param(s_receiptColumns, "batch_id");
constexpr int kReason = param(s_receiptColumns, "reason");
constexpr int kText = param(s_receiptColumns, "text");
constexpr int kPath = param(s_receiptColumns, "path");
constexpr int kParams = static_cast<int>(std::size(s_receiptColumns)) - 1;

const char* const kCsvHeader = "time,source,sha256,line,state,batch_id,reason,text\n";

// A receipt's texts in UTF-8, made once for the table and the receipt file.
struct CRow
{
    QByteArray at;
    QByteArray source;
    QByteArray sha256;
    QByteArray state;
    QByteArray reason;
    QByteArray text;
    QByteArray path;
    int nLine;
    qint64 nBatchId;
};

// RFC 4180: a field holding a comma, a double quote, CR or LF is quoted, its quotes doubled.
void appendField(QByteArray& line, const QByteArray& field)
{
    if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')) {
        QByteArray quoted = field;
        quoted.replace('"', "\"\"");
        line += '"' + quoted + '"';
    } else {
        line += field;
    }
}

void appendCsvLine(QByteArray& csv, const CRow& row)
{
    csv += row.at;
    csv += ',';
    csv += row.source;
    csv += ',';
    csv += row.sha256;
    csv += ',';
    csv += QByteArray::number(row.nLine);
    csv += ',';
    csv += row.state;
    csv += ',';
    if (row.nBatchId >= 0) {
        csv += QByteArray::number(row.nBatchId);
    }
    csv += ',';
    appendField(csv, row.reason);
    csv += ',';
    appendField(csv, row.text);
    csv += '\n';
}

// DIR/NAME.EXT gives DIR/NAME_receipts_YYYYMMDD.csv; no instruction file, DIR/receipts_YYYYMMDD.csv.
QString csvPath(const QByteArray& instructionPath, const QString& strFallbackDir, const QString& strDate)
{
    if (instructionPath.isEmpty()) {
        return strFallbackDir + QStringLiteral("/receipts_%1.csv").arg(strDate);
    }
    const QFileInfo info(QString::fromUtf8(instructionPath));
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral("_receipts_%1.csv").arg(strDate);
}

// Appends in one write(), creating the file owner-only with its header; false with errno set on failure.
bool appendToFile(const QString& strPath, const QByteArray& rows)
{
    const QByteArray path = QFile::encodeName(strPath);
    const int nFd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (nFd < 0) {
        return false;
    }
    struct stat st;
    QByteArray data;
    // An empty file is a new one, or one whose creator died before its first write.
    if (::fstat(nFd, &st) == 0 && st.st_size == 0) {
        data = kCsvHeader;
    }
    data += rows;
    const char* pData = data.constData();
    size_t nLeft = static_cast<size_t>(data.size());
    bool bDone = true;
    while (nLeft > 0) {
        const ssize_t nWritten = ::write(nFd, pData, nLeft);
        if (nWritten < 0 && errno == EINTR) {
            continue;
        }
        if (nWritten <= 0) {
            bDone = false;
            break;
        }
        pData += nWritten;
        nLeft -= static_cast<size_t>(nWritten);
    }
    const int nError = errno;
    ::close(nFd);
    errno = nError;
    return bDone;
}
} // namespace receipts

std::string createStatement(const CTable& table)
{
    std::string strColumns;
    for (size_t i = 0; i < table.nColumns; ++i) {
        strColumns +=
            fmt::format("{0}{1} {2}", i ? ", " : "", table.pColumns[i].pName, table.pColumns[i].pType);
    }
    return fmt::format("CREATE TABLE IF NOT EXISTS {0} ({1})", table.pName, strColumns);
}

// Every column but the row id, for nRows rows; parameter r * (columns - 1) + i is column i of row r,
// except that the columns numbered in shared take row 0's parameter in every row.
std::string insertStatement(const CTable& table, int nRows = 1, const std::vector<int>& shared = {})
{
    std::string strNames;
    for (size_t i = 1; i < table.nColumns; ++i) {
        strNames += fmt::format("{0}{1}", i > 1 ? ", " : "", table.pColumns[i].pName);
    }
    std::string strRows;
    for (int nRow = 0; nRow < nRows; ++nRow) {
        std::string strParams;
        for (size_t i = 1; i < table.nColumns; ++i) {
            const bool bShared = std::find(shared.begin(), shared.end(), static_cast<int>(i)) != shared.end();
            strParams +=
                fmt::format("{0}?{1}", i > 1 ? ", " : "", (bShared ? 0 : nRow * (table.nColumns - 1)) + i);
        }
        strRows += fmt::format("{0}({1})", nRow ? ", " : "", strParams);
    }
    return fmt::format("INSERT INTO {0} ({1}) VALUES {2}", table.pName, strNames, strRows);
}

// Text columns hold '' rather than NULL for an empty value (the data pointers are never null); NULL is
// kept for "no single order". The values must live until the statement has been stepped.
void bindText(sqlite3_stmt* pStatement, int nParam, const std::string& str)
{
    sqlite3_bind_text(pStatement, nParam, str.data(), static_cast<int>(str.size()), SQLITE_STATIC);
}

// Binds the UTF-8 form of str, made in buffer. Handing SQLite UTF-8 spares it a conversion and an
// allocation per value; the buffer keeps its capacity from row to row.
void bindText(sqlite3_stmt* pStatement, int nParam, const QString& str, std::string& buffer)
{
    const int nSize = str.size();
    buffer.resize(static_cast<size_t>(nSize));
    const QChar* pChars = str.constData();
    for (int i = 0; i < nSize; ++i) {
        const ushort nChar = pChars[i].unicode();
        if (nChar >= 0x80) {
            const QByteArray utf8 = str.toUtf8();
            buffer.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
            break;
        }
        buffer[static_cast<size_t>(i)] = static_cast<char>(nChar);
    }
    sqlite3_bind_text(pStatement, nParam, buffer.data(), static_cast<int>(buffer.size()), SQLITE_STATIC);
}

void bindText(sqlite3_stmt* pStatement, int nParam, const QByteArray& utf8)
{
    sqlite3_bind_text(pStatement, nParam, utf8.constData(), utf8.size(), SQLITE_STATIC);
}

QByteArray nowText()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8();
}

struct CStatementDeleter
{
    void operator()(sqlite3_stmt* pStatement) const { sqlite3_finalize(pStatement); }
};
using CStatement = std::unique_ptr<sqlite3_stmt, CStatementDeleter>;

// Leaves a statement ready for its next use however the scope is left. With bClearBindings it also lets
// go of the caller's texts bound to it, which are gone once the call that bound them returns.
class CResetOnExit
{
public:
    explicit CResetOnExit(sqlite3_stmt* pStatement, bool bClearBindings = false)
        : m_pStatement(pStatement), m_bClearBindings(bClearBindings)
    {
    }
    ~CResetOnExit()
    {
        sqlite3_reset(m_pStatement);
        if (m_bClearBindings) {
            sqlite3_clear_bindings(m_pStatement);
        }
    }
    CResetOnExit(const CResetOnExit&) = delete;
    CResetOnExit& operator=(const CResetOnExit&) = delete;

private:
    sqlite3_stmt* m_pStatement;
    bool m_bClearBindings;
};

// The instruction line an order came from: receipt_sources.id and line; id 0 for none.
struct CLineLink
{
    qint64 nSourceId = 0;
    int nLine = 0;
};

// One orders row: the batch, the order, and one of its single orders (null for an order that has none).
struct COrderRow
{
    qint64 nBatchId;
    const QByteArray* pPlacedAt;
    int nStrategyNo;
    const COrderParam* pOrder;
    const COrderSingleParam* pSingle;
    int nSingle;
    CLineLink link;
};

constexpr int s_nOrderParams = static_cast<int>(std::size(s_orderColumns)) - 1;
constexpr int s_nRowsPerInsert = 32;
// The same for every row of a batch: an insert of several rows binds them once, in its first row.
const std::vector<int> s_batchParams = {orders::kBatchId, orders::kPlacedAt, orders::kStrategyNo};

bool isAscii(const std::string& str)
{
    return std::all_of(str.begin(), str.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
}

// Checkpoints copy the write-ahead log back into the database file and sync it, which takes milliseconds.
// They run when no record has come for this long, so they do not sit between the batches of a burst ...
constexpr std::chrono::milliseconds s_idleBeforeCheckpoint(200);
// ... or, under a load that never pauses, once the log holds this many pages, so that it stays bounded.
constexpr int s_nCheckpointPages = 4096;
// Receipt rows per transaction: a batch, cancel or task that comes meanwhile waits for one at most.
constexpr int s_nReceiptsPerCommit = 4096;
// Receipt rows wait until no record and no receipt row has come for this long (a file's rows are queued
// before its batch is built), so that the journal's thread leaves the processor to the way from file
// to dispatch and writes the rows of a burst of files in one go; but never longer than s_receiptMaxWait.
constexpr std::chrono::milliseconds s_receiptQuiet(20);
constexpr std::chrono::milliseconds s_receiptMaxWait(100);
// Sources whose digests are kept; one missing again is hashed again.
constexpr size_t s_nCachedSources = 64;

} // namespace

// Owns the thread on which the journal's SQLite connection lives, so that every statement of the
// connection runs on one thread. Public calls come from any thread through call(); everything else runs
// on the worker thread only.
class COrderJournal::CWorker
{
public:
    CWorker() : m_thread([this] { run(); }) {}

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

    // Runs fn on the worker thread and returns its result once it has run: before the receipt rows
    // queued so far, or with bAfterReceipts once they are committed.
    template <class F> auto call(F&& fn, bool bAfterReceipts = false) -> decltype(fn())
    {
        using R = decltype(fn());
        // The job owns the task, so the shared state outlives the worker's last touch of it; fn itself
        // may refer to the caller's frame, which waits below until fn has run.
        auto pTask = std::make_shared<std::packaged_task<R()>>(std::forward<F>(fn));
        std::future<R> result = pTask->get_future();
        post([pTask] { (*pTask)(); }, bAfterReceipts);
        return result.get();
    }

    // Queues job as call() does and returns at once; job must not refer to the caller's frame.
    void post(std::function<void()> job, bool bAfterReceipts = false)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (bAfterReceipts) {
                m_receiptJobs.push_back({nullptr, std::move(job)});
                m_pQueuedReceipts.reset();
            } else {
                m_records.push_back(std::move(job));
                m_nRecordsWaiting.store(static_cast<int>(m_records.size()), std::memory_order_relaxed);
            }
        }
        m_cond.notify_one();
    }

    bool openDb(const QString& strPath, QString& strError);
    void closeDb();
    qint64 writeBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                      const QVector<COrderReceipt>& placed = QVector<COrderReceipt>());
    // writeBatch, and for a batch not written its announcement and the rejection of its lines.
    qint64 runBatch(int nStrategyNo, const QVector<COrderParam>& orders, const QVector<COrderReceipt>& placed);
    bool writeCancel(const std::string& strCode, const std::string& strAccount, const std::string& strOrderId,
                     bool bByNumber);
    bool writeTask(const std::string& strCode, const std::string& strArgument);

    // Queues receipt rows without waiting, joined to the rows queued last if they are still waiting.
    void postReceipts(const QVector<COrderReceipt>& receipts);
    void postReceipts(std::function<QVector<COrderReceipt>()> make);
    int finishOpenReceipts(const QString& strReason);

    COrderJournal* m_pOwner = nullptr; // set before the first receipt is queued
    QString m_strReceiptsDir;          // worker thread only

private:
    struct CReceiptJob
    {
        std::shared_ptr<QVector<COrderReceipt>> pRows; // rows to write, or null for make or fn
        std::function<void()> fn;
        std::chrono::steady_clock::time_point queuedAt = std::chrono::steady_clock::now();
        std::function<QVector<COrderReceipt>()> make{}; // makes the rows to write, on this thread
    };
    struct CNewSource
    {
        qint64 nKey;
        QByteArray sha256;
        QByteArray source;
        QByteArray path;
        QByteArray at;
    };

    bool takeJob(std::function<void()>& job, bool& bRecord);
    // When the receipt rows at the front may be written, if later than now; the caller holds m_mutex.
    std::chrono::steady_clock::time_point receiptsDue() const;
    qint64 sourceId(qint64 nKey) const { return nKey > 0 ? m_nSourceIdBase + nKey : 0; }
    QByteArray sha256Of(const COrderReceipt& receipt, const receipts::CRow& row);
    std::vector<receipts::CRow> toRows(const QVector<COrderReceipt>& receipts);
    bool insertSources();
    // queuedAt: when the first of the rows was queued; rows left over keep it.
    void writeReceipts(const QVector<COrderReceipt>& receipts,
                       std::chrono::steady_clock::time_point queuedAt);
    // Inserts the rows in order; with bYield it stops early once a record waits. Returns how many
    // were inserted, or -1 on failure.
    int insertReceipts(const std::vector<receipts::CRow>& rows, bool bYield = false);
    void appendReceiptFiles(const std::vector<receipts::CRow>& rows);
    void receiptsFailed(int nRows);
    void run();
    bool exec(const char* pSql, QString& strError);
    bool prepare(const std::string& strSql, CStatement& statement, QString& strError);
    bool step(sqlite3_stmt* pStatement);
    bool checkColumns(const CTable& table, QString& strError);
    void rollback(const char* pWhat);
    void checkpoint();
    void logSqlError(const std::string& strWhat) const;
    void bindOrderRow(sqlite3_stmt* pInsert, int nRow, const COrderRow& row);
    static int onWalCommit(void* pWorker, sqlite3*, const char*, int nPages);

    std::mutex m_mutex;
    std::condition_variable m_cond;
    // Batches, cancels, tasks and other calls: always run before receipt jobs.
    std::deque<std::function<void()>> m_records;
    // When receipt rows were last queued: the module is at work then, a batch may follow.
    std::chrono::steady_clock::time_point m_lastPost;
    // Its size, read without the lock by a receipt transaction that gives way to a record.
    std::atomic<int> m_nRecordsWaiting{0};
    // Receipt rows and the calls that wait for them, in their order, run when no record waits.
    std::deque<CReceiptJob> m_receiptJobs;
    bool m_bStop = false;
    // The rows of the receipt job at the back of its queue, while it waits: later rows join it.
    std::shared_ptr<QVector<COrderReceipt>> m_pQueuedReceipts;

    // Worker thread only.
    QString m_strPath;
    sqlite3* m_pDb = nullptr;
    CStatement m_begin;
    CStatement m_commit;
    CStatement m_nextBatchId;
    CStatement m_insertOrder;
    CStatement m_insertOrders; // s_nRowsPerInsert rows
    CStatement m_insertCancel;
    CStatement m_insertTask;
    CStatement m_insertReceipt;
    CStatement m_insertReceipts; // s_nRowsPerInsert rows
    CStatement m_insertSource;
    // Source ids are this plus the process's source key: above every id of earlier runs.
    qint64 m_nSourceIdBase = 0;
    qint64 m_nLastSourceId = 0;                   // the highest id written by this connection
    std::map<qint64, QByteArray> m_sourceDigests; // by source key, the latest s_nCachedSources
    std::vector<CNewSource> m_newSources;         // sources of the rows being written, not in the table yet
    bool m_bReceiptsFailing = false; // the last receipts could not be written: the next failure is not news
    // UTF-8 of the orders inserts' texts, by row and column.
    std::vector<std::string> m_texts = std::vector<std::string>(s_nRowsPerInsert * std::size(s_orderColumns));
    std::chrono::steady_clock::time_point m_lastRecordDone; // worker thread only
    int m_nWalPages = 0;           // pages in the write-ahead log after the last commit
    bool m_bCheckpointDue = false; // a commit came after the last checkpoint

    // Last member: the thread starts once everything it touches exists.
    std::thread m_thread;
};

void COrderJournal::CWorker::run()
{
    utils::setThreadName("order_journal");
    const auto hasWork = [this] { return m_bStop || !m_records.empty() || !m_receiptJobs.empty(); };
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_bCheckpointDue) {
            if (!m_cond.wait_for(lock, s_idleBeforeCheckpoint, hasWork)) {
                lock.unlock();
                checkpoint();
                lock.lock();
                continue;
            }
        } else {
            m_cond.wait(lock, hasWork);
        }
        if (m_records.empty() && !m_bStop) {
            const auto due = receiptsDue();
            if (due > std::chrono::steady_clock::now()) {
                m_cond.wait_until(lock, due, [this] { return m_bStop || !m_records.empty(); });
                continue;
            }
        }
        std::function<void()> job;
        bool bRecord = false;
        if (!takeJob(job, bRecord)) {
            break;
        }
        lock.unlock();
        job();
        if (bRecord) {
            m_lastRecordDone = std::chrono::steady_clock::now();
        }
        // The caller has its answer; a long log is folded back before the next record.
        if (m_nWalPages >= s_nCheckpointPages) {
            checkpoint();
        }
        lock.lock();
    }
    lock.unlock();
    // A journal destroyed without close() still lets go of its connection here, on its own thread.
    closeDb();
}

std::chrono::steady_clock::time_point COrderJournal::CWorker::receiptsDue() const
{
    // Calls waiting for the rows (a stop, a test) do not wait longer.
    if (m_receiptJobs.empty() || m_receiptJobs.front().fn || m_receiptJobs.back().fn) {
        return std::chrono::steady_clock::time_point();
    }
    return std::min(std::max(m_lastRecordDone, m_lastPost) + s_receiptQuiet,
                    m_receiptJobs.front().queuedAt + s_receiptMaxWait);
}

bool COrderJournal::CWorker::takeJob(std::function<void()>& job, bool& bRecord)
{
    bRecord = !m_records.empty();
    if (!m_records.empty()) {
        job = std::move(m_records.front());
        m_records.pop_front();
        m_nRecordsWaiting.store(static_cast<int>(m_records.size()), std::memory_order_relaxed);
        return true;
    }
    if (m_receiptJobs.empty()) {
        return false;
    }
    CReceiptJob& front = m_receiptJobs.front();
    if (front.fn) {
        job = std::move(front.fn);
        m_receiptJobs.pop_front();
        return true;
    }
    if (front.make) {
        job = [this, make = std::move(front.make), queuedAt = front.queuedAt] {
            writeReceipts(make(), queuedAt);
        };
        m_receiptJobs.pop_front();
        return true;
    }
    std::shared_ptr<QVector<COrderReceipt>> pRows = front.pRows;
    // Taken whole: rows queued from now on make a new job.
    if (m_pQueuedReceipts == pRows) {
        m_pQueuedReceipts.reset();
    }
    job = [this, pRows, queuedAt = front.queuedAt] { writeReceipts(*pRows, queuedAt); };
    m_receiptJobs.pop_front();
    return true;
}

int COrderJournal::CWorker::onWalCommit(void* pWorker, sqlite3*, const char*, int nPages)
{
    auto* pThis = static_cast<CWorker*>(pWorker);
    pThis->m_nWalPages = nPages;
    pThis->m_bCheckpointDue = true;
    return SQLITE_OK;
}

void COrderJournal::CWorker::checkpoint()
{
    m_bCheckpointDue = false;
    if (!m_pDb) {
        return;
    }
    int nLogPages = 0;
    int nCopiedPages = 0;
    // PASSIVE: readers are never waited for; what they still hold is copied by a later checkpoint.
    const int nResult =
        sqlite3_wal_checkpoint_v2(m_pDb, nullptr, SQLITE_CHECKPOINT_PASSIVE, &nLogPages, &nCopiedPages);
    if (nResult != SQLITE_OK && nResult != SQLITE_BUSY) {
        logSqlError("checkpoint failed");
    }
    m_nWalPages = nLogPages > nCopiedPages ? nLogPages : 0;
}

bool COrderJournal::CWorker::exec(const char* pSql, QString& strError)
{
    char* pMessage = nullptr;
    if (sqlite3_exec(m_pDb, pSql, nullptr, nullptr, &pMessage) != SQLITE_OK) {
        strError = QString::fromUtf8(pMessage ? pMessage : sqlite3_errmsg(m_pDb));
        sqlite3_free(pMessage);
        return false;
    }
    return true;
}

bool COrderJournal::CWorker::prepare(const std::string& strSql, CStatement& statement, QString& strError)
{
    sqlite3_stmt* pStatement = nullptr;
    if (sqlite3_prepare_v3(m_pDb, strSql.c_str(), static_cast<int>(strSql.size()), SQLITE_PREPARE_PERSISTENT,
                           &pStatement, nullptr) != SQLITE_OK) {
        strError = QString::fromUtf8(sqlite3_errmsg(m_pDb));
        return false;
    }
    statement.reset(pStatement);
    return true;
}

bool COrderJournal::CWorker::step(sqlite3_stmt* pStatement)
{
    const int nResult = sqlite3_step(pStatement);
    return nResult == SQLITE_DONE || nResult == SQLITE_ROW;
}

void COrderJournal::CWorker::logSqlError(const std::string& strWhat) const
{
    LOG4CXX_ERROR(g_TTStdLogger, fmt::format("order journal {0}: {1}: {2}", m_strPath.toStdString(), strWhat,
                                             m_pDb ? sqlite3_errmsg(m_pDb) : "not open"));
}

void COrderJournal::CWorker::rollback(const char* pWhat)
{
    // A failed statement may already have ended the transaction; there is nothing to undo then.
    if (sqlite3_get_autocommit(m_pDb)) {
        return;
    }
    QString strError;
    if (!exec("ROLLBACK", strError)) {
        LOG4CXX_ERROR(g_TTStdLogger, fmt::format("order journal {0}: rollback of {1} failed: {2}",
                                                 m_strPath.toStdString(), pWhat, strError.toStdString()));
    }
}

bool COrderJournal::CWorker::checkColumns(const CTable& table, QString& strError)
{
    CStatement info;
    if (!prepare(fmt::format("PRAGMA table_info({0})", table.pName), info, strError)) {
        return false;
    }
    std::set<std::string> present;
    int nResult = SQLITE_ROW;
    while ((nResult = sqlite3_step(info.get())) == SQLITE_ROW) {
        present.insert(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1)));
    }
    if (nResult != SQLITE_DONE) {
        strError = QString::fromUtf8(sqlite3_errmsg(m_pDb));
        return false;
    }
    for (size_t i = 0; i < table.nColumns; ++i) {
        if (!present.count(table.pColumns[i].pName) && !table.pColumns[i].bAddedLater) {
            strError = QStringLiteral("table %1 has no column %2; the file belongs to something else")
                           .arg(QLatin1String(table.pName), QLatin1String(table.pColumns[i].pName));
            return false;
        }
    }
    // A file of an earlier version gets the columns added since.
    for (size_t i = 0; i < table.nColumns; ++i) {
        if (!present.count(table.pColumns[i].pName) &&
            !exec(fmt::format("ALTER TABLE {0} ADD COLUMN {1} {2}", table.pName, table.pColumns[i].pName,
                              table.pColumns[i].pType)
                      .c_str(),
                  strError)) {
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

    if (strPath.trimmed().isEmpty()) {
        return fail(QStringLiteral("no database file given"));
    }
    const bool bInMemory = strPath == QLatin1String(":memory:");
    const QFileInfo info(strPath);
    const QDir dir = info.absoluteDir();
    if (!bInMemory && !dir.exists()) {
        return fail(
            QStringLiteral("the directory %1 does not exist").arg(QDir::toNativeSeparators(dir.path())));
    }
    if (!bInMemory && info.exists() && !info.isFile()) {
        return fail(info.isDir() ? QStringLiteral("is a directory") : QStringLiteral("not a regular file"));
    }
    // SQLite quietly falls back to read-only access, so say so before it fails on the first write.
    if (!bInMemory && info.exists() && !info.isWritable()) {
        return fail(QStringLiteral("the file is read-only"));
    }
    if (!bInMemory && !info.exists() && !QFileInfo(dir.path()).isWritable()) {
        return fail(
            QStringLiteral("the directory %1 is read-only").arg(QDir::toNativeSeparators(dir.path())));
    }

    const QByteArray fileName = bInMemory ? QByteArray(":memory:") : QFile::encodeName(strPath);
    if (!bInMemory && !info.exists()) {
        // Created owner-only here: SQLite gives its log files the database file's permissions. The
        // directory entry is synced so that the new file survives a power cut as its contents will.
        const int nFile = ::open(fileName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (nFile < 0) {
            return fail(
                QStringLiteral("cannot create the file: %1").arg(QString::fromLocal8Bit(strerror(errno))));
        }
        ::close(nFile);
        const int nDir =
            ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (nDir >= 0) {
            ::fsync(nDir);
            ::close(nDir);
        }
    }

    // One thread uses the connection, so SQLite's own locking of it is left out.
    if (sqlite3_open_v2(fileName.constData(), &m_pDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        return fail(QStringLiteral("cannot open the file: %1")
                        .arg(QString::fromUtf8(m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory")));
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, 5000);

    // The first statement reads the file header: a file of another kind fails here.
    QString strSqlError;
    CStatement mode;
    if (!prepare("PRAGMA journal_mode=WAL", mode, strSqlError) || sqlite3_step(mode.get()) != SQLITE_ROW) {
        return fail(QStringLiteral("not a usable database: %1")
                        .arg(strSqlError.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(m_pDb)) : strSqlError));
    }
    const QString strMode =
        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0))).toLower();
    mode.reset();
    if (strMode != QLatin1String("wal") && !(bInMemory && strMode == QLatin1String("memory"))) {
        return fail(
            QStringLiteral("cannot switch to write-ahead logging (mode is %1); the file may be read-only")
                .arg(strMode));
    }
    // FULL: a commit returns only once the log is on the disk, so a batch reported as placed survives a
    // power cut. Checkpoints are the worker's own, off the commit path (see run()).
    if (!exec("PRAGMA synchronous=FULL", strSqlError) || !exec("PRAGMA wal_autocheckpoint=0", strSqlError)) {
        return fail(QStringLiteral("cannot set the write mode: %1").arg(strSqlError));
    }
    // Commits report the log's length here; the hook also takes the place of SQLite's own checkpoints.
    sqlite3_wal_hook(m_pDb, &CWorker::onWalCommit, this);
    // A 10,000-order batch changes about 3 MiB of pages; with SQLite's default 2 MiB cache part of it
    // would be written to the log twice.
    exec("PRAGMA cache_size=-16384", strSqlError);

    if (!exec("BEGIN IMMEDIATE", strSqlError)) {
        return fail(QStringLiteral("cannot write: %1").arg(strSqlError));
    }
    for (const CTable& table : s_tables) {
        if (!exec(createStatement(table).c_str(), strSqlError)) {
            rollback("table creation");
            return fail(
                QStringLiteral("cannot create table %1: %2").arg(QLatin1String(table.pName), strSqlError));
        }
    }
    // A file of another program may hold tables of the same names: leave it as it was.
    for (const CTable& table : s_tables) {
        if (!checkColumns(table, strSqlError)) {
            rollback("table creation");
            return fail(strSqlError);
        }
    }
    for (const char* pIndex : s_indexes) {
        if (!exec(pIndex, strSqlError)) {
            rollback("index creation");
            return fail(QStringLiteral("cannot create an index: %1").arg(strSqlError));
        }
    }
    // Above every source id handed out before: those in the sources table, those of the runs before
    // the last start, and those of orders written since (their receipts may never have been written).
    CStatement lastSourceId;
    if (!prepare("SELECT MAX((SELECT COALESCE(MAX(id), 0) FROM receipt_sources), "
                 "(SELECT COALESCE(MAX(last_source_id), 0) FROM receipt_starts), "
                 "(SELECT COALESCE(MAX(source_id), 0) FROM orders WHERE id >= "
                 "(SELECT COALESCE(MAX(first_order_id), 0) FROM receipt_starts)))",
                 lastSourceId, strSqlError) ||
        sqlite3_step(lastSourceId.get()) != SQLITE_ROW) {
        rollback("table creation");
        return fail(QStringLiteral("cannot read the source ids: %1")
                        .arg(strSqlError.isEmpty() ? QString::fromUtf8(sqlite3_errmsg(m_pDb)) : strSqlError));
    }
    m_nSourceIdBase = sqlite3_column_int64(lastSourceId.get(), 0);
    m_nLastSourceId = m_nSourceIdBase;
    lastSourceId.reset();
    if (!exec("COMMIT", strSqlError)) {
        rollback("table creation");
        return fail(QStringLiteral("cannot create the tables: %1").arg(strSqlError));
    }

    const std::pair<std::string, CStatement*> statements[] = {
        {"BEGIN IMMEDIATE", &m_begin},
        {"COMMIT", &m_commit},
        {"SELECT COALESCE(MAX(batch_id), 0) + 1 FROM orders", &m_nextBatchId},
        {insertStatement(s_tables[0]), &m_insertOrder},
        {insertStatement(s_tables[0], s_nRowsPerInsert, s_batchParams), &m_insertOrders},
        {insertStatement(s_tables[1]), &m_insertCancel},
        {insertStatement(s_tables[2]), &m_insertTask},
        {insertStatement(s_receiptTable), &m_insertReceipt},
        {insertStatement(s_receiptTable, s_nRowsPerInsert), &m_insertReceipts},
        {"INSERT OR IGNORE INTO receipt_sources (id, sha256, source, path, taken_at) VALUES (?1, ?2, ?3, ?4, "
         "?5)",
         &m_insertSource},
    };
    for (const auto& statement : statements) {
        if (!prepare(statement.first, *statement.second, strSqlError)) {
            return fail(QStringLiteral("cannot prepare \"%1\": %2")
                            .arg(QString::fromStdString(statement.first), strSqlError));
        }
    }
    LOG4CXX_INFO(g_TTStdLogger, fmt::format("order journal opened: {0}", strPath.toStdString()));
    return true;
}

void COrderJournal::CWorker::closeDb()
{
    if (!m_pDb) {
        return;
    }
    // Every statement of the connection must be gone before it closes; the last connection to close
    // folds the log back into the file.
    for (CStatement* pStatement :
         {&m_begin, &m_commit, &m_nextBatchId, &m_insertOrder, &m_insertOrders, &m_insertCancel,
          &m_insertTask, &m_insertReceipt, &m_insertReceipts, &m_insertSource}) {
        pStatement->reset();
    }
    if (sqlite3_close(m_pDb) != SQLITE_OK) {
        logSqlError("close failed");
        sqlite3_close_v2(m_pDb);
    }
    m_pDb = nullptr;
    m_sourceDigests.clear();
    m_bCheckpointDue = false;
    m_nWalPages = 0;
}

void COrderJournal::CWorker::bindOrderRow(sqlite3_stmt* pInsert, int nRow, const COrderRow& row)
{
    const int n = nRow * s_nOrderParams;
    std::string* pTexts = &m_texts[static_cast<size_t>(nRow) * std::size(s_orderColumns)];
    const COrderParam& order = *row.pOrder;
    if (nRow == 0) {
        sqlite3_bind_int64(pInsert, orders::kBatchId, row.nBatchId);
        bindText(pInsert, orders::kPlacedAt, *row.pPlacedAt);
        sqlite3_bind_int(pInsert, orders::kStrategyNo, row.nStrategyNo);
    }
    bindText(pInsert, n + orders::kSeq, order.m_strSeq, pTexts[orders::kSeq]);
    sqlite3_bind_int(pInsert, n + orders::kOrderType, order.m_nOrderType);
    bindText(pInsert, n + orders::kAccountType, order.m_strAccountType, pTexts[orders::kAccountType]);
    bindText(pInsert, n + orders::kAccountKey, order.m_strAccountKey, pTexts[orders::kAccountKey]);
    bindText(pInsert, n + orders::kBrokerType, order.m_strBrokerType, pTexts[orders::kBrokerType]);
    sqlite3_bind_int(pInsert, n + orders::kAlgoOrderType, order.m_nAlgoOrderType);
    bindText(pInsert, n + orders::kAlgoText, order.m_strAlgoText);
    // The parameter text arrives in the local 8-bit encoding; the column is UTF-8 text. ASCII, the usual
    // text, reads the same in both.
    if (isAscii(order.m_strParamText)) {
        bindText(pInsert, n + orders::kParamText, order.m_strParamText);
    } else {
        bindText(pInsert, n + orders::kParamText,
                 QString::fromLocal8Bit(order.m_strParamText.data(),
                                        static_cast<int>(order.m_strParamText.size())),
                 pTexts[orders::kParamText]);
    }
    bindText(pInsert, n + orders::kDbfPriceText, order.m_strDbfPriceText, pTexts[orders::kDbfPriceText]);
    bindText(pInsert, n + orders::kStrategyName, order.m_strStrategyName);
    bindText(pInsert, n + orders::kNote, order.m_strNote);
    bindText(pInsert, n + orders::kVolumeText, order.m_strVolumeText);
    bindText(pInsert, n + orders::kGivenAccountType, order.m_strGivenAccountType,
             pTexts[orders::kGivenAccountType]);
    sqlite3_bind_int(pInsert, n + orders::kZdclIndex, order.m_nZdclIndex);
    sqlite3_bind_int(pInsert, n + orders::kNamedStrategy, order.m_bNamedStrategy ? 1 : 0);
    sqlite3_bind_int(pInsert, n + orders::kHedgeFlag, order.m_nHedgeFlag);
    bindText(pInsert, n + orders::kCounterpart, order.m_strCounterpart);
    sqlite3_bind_int(pInsert, n + orders::kTradeStrategyType, order.m_nTradeStrategyType);
    sqlite3_bind_int(pInsert, n + orders::kStrategyFlag, order.m_nStrategyFlag);
    if (row.link.nSourceId > 0) {
        sqlite3_bind_int64(pInsert, n + orders::kSourceId, row.link.nSourceId);
        sqlite3_bind_int(pInsert, n + orders::kSourceLine, row.link.nLine);
    } else {
        sqlite3_bind_null(pInsert, n + orders::kSourceId);
        sqlite3_bind_null(pInsert, n + orders::kSourceLine);
    }
    if (!row.pSingle) {
        for (int nParam : {orders::kSingleIndex, orders::kStockCode, orders::kVolume, orders::kPrice,
                           orders::kAmount, orders::kExtra, orders::kPriceType}) {
            sqlite3_bind_null(pInsert, n + nParam);
        }
        return;
    }
    const COrderSingleParam& single = *row.pSingle;
    sqlite3_bind_int(pInsert, n + orders::kSingleIndex, row.nSingle);
    bindText(pInsert, n + orders::kStockCode, single.m_strStockCode, pTexts[orders::kStockCode]);
    sqlite3_bind_int(pInsert, n + orders::kVolume, single.m_nVolume);
    sqlite3_bind_double(pInsert, n + orders::kPrice, single.m_dPrice);
    sqlite3_bind_double(pInsert, n + orders::kAmount, single.m_dAmount);
    sqlite3_bind_int(pInsert, n + orders::kExtra, single.m_nExtra);
    sqlite3_bind_int(pInsert, n + orders::kPriceType, single.m_nPriceType);
}

qint64 COrderJournal::CWorker::writeBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                                          const QVector<COrderReceipt>& placed)
{
    {
        CResetOnExit reset(m_begin.get());
        if (!step(m_begin.get())) {
            logSqlError("cannot start a batch");
            return -1;
        }
    }
    // Taken inside the write transaction, so the id is unique even with another writer on the file.
    qint64 nBatchId = 0;
    {
        CResetOnExit reset(m_nextBatchId.get());
        if (sqlite3_step(m_nextBatchId.get()) != SQLITE_ROW) {
            logSqlError("cannot number a batch");
            rollback("a batch");
            return -1;
        }
        nBatchId = sqlite3_column_int64(m_nextBatchId.get(), 0);
    }

    // The rows in the order they are written: an order's single orders in turn, and one row for an order
    // without any, so that nothing handed over is invisible.
    const QByteArray placedAt = nowText();
    // Each order's row names its line, so a start after a crash knows the line placed whatever became
    // of its placed receipt, which is written later.
    std::vector<CLineLink> links(static_cast<size_t>(orders.size()));
    for (const COrderReceipt& receipt : placed) {
        if (receipt.m_nOrder >= 0 && receipt.m_nOrder < orders.size() && receipt.m_nSourceKey > 0) {
            links[static_cast<size_t>(receipt.m_nOrder)] = {sourceId(receipt.m_nSourceKey), receipt.m_nLine};
            m_nLastSourceId = std::max(m_nLastSourceId, sourceId(receipt.m_nSourceKey));
        }
    }
    std::vector<COrderRow> rows;
    rows.reserve(static_cast<size_t>(orders.size()));
    for (int nOrder = 0; nOrder < orders.size(); ++nOrder) {
        const COrderParam& order = orders[nOrder];
        const CLineLink& link = links[static_cast<size_t>(nOrder)];
        if (order.m_singleParams.isEmpty()) {
            rows.push_back({nBatchId, &placedAt, nStrategyNo, &order, nullptr, 0, link});
        }
        for (int nSingle = 0; nSingle < order.m_singleParams.size(); ++nSingle) {
            rows.push_back(
                {nBatchId, &placedAt, nStrategyNo, &order, &order.m_singleParams[nSingle], nSingle, link});
        }
    }
    // Most rows go s_nRowsPerInsert to a statement, which spares SQLite setting the insert up for each.
    // Every parameter is bound again for each use; the texts of the caller's orders are let go of once,
    // when the batch is done, however it ends.
    CResetOnExit releaseMany(m_insertOrders.get(), true);
    CResetOnExit releaseOne(m_insertOrder.get(), true);
    for (size_t nDone = 0; nDone < rows.size();) {
        const bool bMany = rows.size() - nDone >= static_cast<size_t>(s_nRowsPerInsert);
        const int nRows = bMany ? s_nRowsPerInsert : 1;
        sqlite3_stmt* pInsert = bMany ? m_insertOrders.get() : m_insertOrder.get();
        CResetOnExit reset(pInsert);
        for (int nRow = 0; nRow < nRows; ++nRow) {
            bindOrderRow(pInsert, nRow, rows[nDone + static_cast<size_t>(nRow)]);
        }
        if (!step(pInsert)) {
            logSqlError(fmt::format("batch {0} rolled back: a row of orders {1} to {2} of {3}", nBatchId,
                                    rows[nDone].pOrder - orders.data(),
                                    rows[nDone + static_cast<size_t>(nRows) - 1].pOrder - orders.data(),
                                    orders.size()));
            rollback("a batch");
            return -1;
        }
        nDone += static_cast<size_t>(nRows);
    }

    CResetOnExit reset(m_commit.get());
    if (!step(m_commit.get())) {
        logSqlError(fmt::format("batch {0} could not be committed", nBatchId));
        rollback("a batch");
        return -1;
    }
    if (!placed.isEmpty()) {
        // Behind the rows of the same lines queued before; the orders table answers for them meanwhile.
        QVector<COrderReceipt> placedRows = placed;
        for (COrderReceipt& receipt : placedRows) {
            receipt.m_nBatchId = nBatchId;
        }
        postReceipts(placedRows);
    }
    return nBatchId;
}

qint64 COrderJournal::CWorker::runBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                                        const QVector<COrderReceipt>& placed)
{
    const qint64 nBatchId = writeBatch(nStrategyNo, orders, placed);
    if (nBatchId >= 0) {
        return nBatchId;
    }
    if (m_pOwner) {
        m_pOwner->m_sigRecordFailed(RECORD_BATCH, orders.size());
    }
    // The paper broker places nothing it could not journal: the batch's lines were not placed.
    QVector<COrderReceipt> rejected = placed;
    for (COrderReceipt& receipt : rejected) {
        receipt.rejectDispatch(QStringLiteral("委托日志写入失败, 未下出!"));
    }
    if (!rejected.isEmpty()) {
        postReceipts(rejected);
    }
    return -1;
}

bool COrderJournal::CWorker::writeCancel(const std::string& strCode, const std::string& strAccount,
                                         const std::string& strOrderId, bool bByNumber)
{
    const QByteArray placedAt = nowText();
    sqlite3_stmt* pInsert = m_insertCancel.get();
    CResetOnExit reset(pInsert, true);
    bindText(pInsert, cancels::kCode, strCode);
    bindText(pInsert, cancels::kAccount, strAccount);
    bindText(pInsert, cancels::kOrderId, strOrderId);
    sqlite3_bind_int(pInsert, cancels::kByNumber, bByNumber ? 1 : 0);
    bindText(pInsert, cancels::kPlacedAt, placedAt);
    const bool bDone = step(pInsert);
    if (!bDone) {
        logSqlError(fmt::format("cancel of order {0} not recorded", strOrderId));
    }
    return bDone;
}

bool COrderJournal::CWorker::writeTask(const std::string& strCode, const std::string& strArgument)
{
    const QByteArray placedAt = nowText();
    sqlite3_stmt* pInsert = m_insertTask.get();
    CResetOnExit reset(pInsert, true);
    bindText(pInsert, tasks::kCode, strCode);
    bindText(pInsert, tasks::kArgument, strArgument);
    bindText(pInsert, tasks::kPlacedAt, placedAt);
    const bool bDone = step(pInsert);
    if (!bDone) {
        logSqlError(fmt::format("task {0} not recorded", strCode));
    }
    return bDone;
}
void COrderJournal::CWorker::postReceipts(std::function<QVector<COrderReceipt>()> make)
{
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        bWake = m_receiptJobs.empty();
        CReceiptJob job;
        job.make = std::move(make);
        m_receiptJobs.push_back(std::move(job));
        m_pQueuedReceipts.reset();
        m_lastPost = std::chrono::steady_clock::now();
    }
    // Rows queued behind others are due no sooner: the thread, already waiting for those, is left to
    // sleep rather than woken on every file of a burst.
    if (bWake) {
        m_cond.notify_one();
    }
}

void COrderJournal::CWorker::postReceipts(const QVector<COrderReceipt>& receipts)
{
    bool bWake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lastPost = std::chrono::steady_clock::now();
        if (m_pQueuedReceipts) {
            *m_pQueuedReceipts += receipts;
            return;
        }
        bWake = m_receiptJobs.empty();
        auto pRows = std::make_shared<QVector<COrderReceipt>>(receipts);
        m_receiptJobs.push_back({pRows, nullptr});
        m_pQueuedReceipts = pRows;
    }
    if (bWake) {
        m_cond.notify_one();
    }
}

QByteArray COrderJournal::CWorker::sha256Of(const COrderReceipt& receipt, const receipts::CRow& row)
{
    const auto digest = [&] {
        return receipt.m_strSha256.isEmpty()
                   ? QCryptographicHash::hash(receipt.m_source, QCryptographicHash::Sha256).toHex()
                   : receipt.m_strSha256.toUtf8();
    };
    if (receipt.m_nSourceKey <= 0) {
        return digest();
    }
    const auto it = m_sourceDigests.find(receipt.m_nSourceKey);
    if (it != m_sourceDigests.end()) {
        return it->second;
    }
    const QByteArray sha256 = digest();
    if (m_sourceDigests.size() >= s_nCachedSources) {
        m_sourceDigests.erase(m_sourceDigests.begin()); // the oldest source: keys only grow
    }
    m_sourceDigests.emplace(receipt.m_nSourceKey, sha256);
    m_newSources.push_back({receipt.m_nSourceKey, sha256, row.source, row.path, row.at});
    return sha256;
}

// The rows of receipts in UTF-8. The texts that most rows share with the row before (time, source,
// digest, state, path) are converted once and shared.
std::vector<receipts::CRow> COrderJournal::CWorker::toRows(const QVector<COrderReceipt>& receipts)
{
    std::vector<receipts::CRow> rows;
    rows.reserve(static_cast<size_t>(receipts.size()));
    const COrderReceipt* pLast = nullptr;
    const auto utf8 = [&](QString COrderReceipt::*pText, QByteArray receipts::CRow::*pBytes,
                          const COrderReceipt& receipt) {
        return pLast && pLast->*pText == receipt.*pText ? rows.back().*pBytes : (receipt.*pText).toUtf8();
    };
    for (const COrderReceipt& receipt : receipts) {
        receipts::CRow row{utf8(&COrderReceipt::m_strAt, &receipts::CRow::at, receipt),
                           utf8(&COrderReceipt::m_strSource, &receipts::CRow::source, receipt),
                           QByteArray(),
                           utf8(&COrderReceipt::m_strState, &receipts::CRow::state, receipt),
                           receipt.m_strReason.toUtf8(),
                           receipt.m_strText.toUtf8(),
                           utf8(&COrderReceipt::m_strPath, &receipts::CRow::path, receipt),
                           receipt.m_nLine,
                           receipt.m_nBatchId};
        const bool bSameSource = pLast && pLast->m_nSourceKey == receipt.m_nSourceKey &&
                                 pLast->m_strSha256 == receipt.m_strSha256 &&
                                 pLast->m_source.isSharedWith(receipt.m_source);
        row.sha256 = bSameSource ? rows.back().sha256 : sha256Of(receipt, row);
        rows.push_back(std::move(row));
        pLast = &receipt;
    }
    return rows;
}

bool COrderJournal::CWorker::insertSources()
{
    sqlite3_stmt* pInsert = m_insertSource.get();
    for (const CNewSource& source : m_newSources) {
        CResetOnExit reset(pInsert, true);
        sqlite3_bind_int64(pInsert, 1, sourceId(source.nKey));
        bindText(pInsert, 2, source.sha256);
        bindText(pInsert, 3, source.source);
        bindText(pInsert, 4, source.path);
        bindText(pInsert, 5, source.at);
        if (!step(pInsert)) {
            return false;
        }
        m_nLastSourceId = std::max(m_nLastSourceId, sourceId(source.nKey));
    }
    return true;
}

void COrderJournal::CWorker::writeReceipts(const QVector<COrderReceipt>& all,
                                           std::chrono::steady_clock::time_point queuedAt)
{
    // One transaction's worth at a time, converted just before: the rest go back to the queue's front.
    const QVector<COrderReceipt> receipts =
        all.size() > s_nReceiptsPerCommit ? all.mid(0, s_nReceiptsPerCommit) : all;
    if (all.size() > s_nReceiptsPerCommit) {
        auto pRest = std::make_shared<QVector<COrderReceipt>>(all.mid(s_nReceiptsPerCommit));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_receiptJobs.push_front({pRest, nullptr, queuedAt});
    }
    m_newSources.clear();
    std::vector<receipts::CRow> rows = toRows(receipts);
    if (!m_pDb) {
        logSqlError(fmt::format("{0} receipts not recorded", rows.size()));
        receiptsFailed(static_cast<int>(rows.size()));
        return;
    }
    // Receipts alone are committed without waiting for the disk: the next batch's (or checkpoint's)
    // sync of the log takes them along, as the log is synced whole. So a batch on the disk always has
    // the receipts that came before it there too, and the batch's own path pays for one sync only.
    QString strSqlError;
    exec("PRAGMA synchronous=NORMAL", strSqlError);
    bool bDone = false;
    {
        CResetOnExit reset(m_begin.get());
        bDone = step(m_begin.get());
    }
    // A record that comes meanwhile waits for a few rows only: the rest go back to the queue's front.
    const int nInserted = bDone ? insertReceipts(rows, true) : -1;
    bDone = nInserted >= 0 && insertSources();
    if (bDone) {
        CResetOnExit reset(m_commit.get());
        bDone = step(m_commit.get());
    }
    exec("PRAGMA synchronous=FULL", strSqlError);
    if (!bDone) {
        logSqlError(fmt::format("{0} receipts not recorded", rows.size()));
        rollback("receipts");
        // Their sources are not in the table: the next rows of them write them.
        for (const CNewSource& source : m_newSources) {
            m_sourceDigests.erase(source.nKey);
        }
        receiptsFailed(static_cast<int>(rows.size()));
        return;
    }
    if (nInserted < static_cast<int>(rows.size())) {
        // The record that waits goes first; the receipt file gets the committed rows right after it.
        auto pRest = std::make_shared<QVector<COrderReceipt>>(receipts.mid(nInserted));
        rows.resize(static_cast<size_t>(nInserted));
        std::lock_guard<std::mutex> lock(m_mutex);
        m_receiptJobs.push_front({pRest, nullptr, queuedAt});
        m_receiptJobs.push_front({nullptr, [this, rows = std::move(rows)] { appendReceiptFiles(rows); }});
        return;
    }
    appendReceiptFiles(rows);
}

int COrderJournal::CWorker::insertReceipts(const std::vector<receipts::CRow>& rows, bool bYield)
{
    for (size_t nDone = 0; nDone < rows.size();) {
        if (bYield && nDone > 0 && m_nRecordsWaiting.load(std::memory_order_relaxed) > 0) {
            return static_cast<int>(nDone);
        }
        const bool bMany = rows.size() - nDone >= static_cast<size_t>(s_nRowsPerInsert);
        const int nRows = bMany ? s_nRowsPerInsert : 1;
        sqlite3_stmt* pInsert = bMany ? m_insertReceipts.get() : m_insertReceipt.get();
        CResetOnExit reset(pInsert, true);
        for (int nRow = 0; nRow < nRows; ++nRow) {
            const receipts::CRow& row = rows[nDone + static_cast<size_t>(nRow)];
            const int n = nRow * receipts::kParams;
            bindText(pInsert, n + receipts::kAt, row.at);
            bindText(pInsert, n + receipts::kSource, row.source);
            bindText(pInsert, n + receipts::kSha256, row.sha256);
            sqlite3_bind_int(pInsert, n + receipts::kLine, row.nLine);
            bindText(pInsert, n + receipts::kState, row.state);
            if (row.nBatchId >= 0) {
                sqlite3_bind_int64(pInsert, n + receipts::kBatchId, row.nBatchId);
            } else {
                sqlite3_bind_null(pInsert, n + receipts::kBatchId);
            }
            bindText(pInsert, n + receipts::kReason, row.reason);
            bindText(pInsert, n + receipts::kText, row.text);
            bindText(pInsert, n + receipts::kPath, row.path);
        }
        if (!step(pInsert)) {
            return -1;
        }
        nDone += static_cast<size_t>(nRows);
    }
    return static_cast<int>(rows.size());
}

void COrderJournal::CWorker::appendReceiptFiles(const std::vector<receipts::CRow>& rows)
{
    if (rows.empty()) {
        return;
    }
    // One write per receipt file, its rows in table order.
    const QString strDate = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    std::vector<std::pair<QByteArray, QByteArray>> files; // instruction path, rows
    for (const receipts::CRow& row : rows) {
        auto it =
            std::find_if(files.begin(), files.end(), [&](const std::pair<QByteArray, QByteArray>& file) {
                return file.first == row.path;
            });
        if (it == files.end()) {
            files.emplace_back(row.path, QByteArray());
            it = std::prev(files.end());
            it->second.reserve(static_cast<int>(rows.size()) * 160);
        }
        receipts::appendCsvLine(it->second, row);
    }
    int nFailed = 0;
    for (const auto& file : files) {
        const QString strCsv = receipts::csvPath(file.first, m_strReceiptsDir, strDate);
        if (!receipts::appendToFile(strCsv, file.second)) {
            const int nError = errno;
            const int nRows = static_cast<int>(file.second.count('\n'));
            LOG4CXX_ERROR(g_TTStdLogger, fmt::format("receipt file {0}: {1} rows not appended: {2}",
                                                     strCsv.toStdString(), nRows, std::strerror(nError)));
            nFailed += nRows;
        }
    }
    if (nFailed > 0) {
        receiptsFailed(nFailed);
    } else {
        m_bReceiptsFailing = false;
    }
}

void COrderJournal::CWorker::receiptsFailed(int nRows)
{
    if (m_bReceiptsFailing) {
        return;
    }
    m_bReceiptsFailing = true;
    if (m_pOwner) {
        m_pOwner->m_sigRecordFailed(RECORD_RECEIPTS, nRows);
    }
}

int COrderJournal::CWorker::finishOpenReceipts(const QString& strReason)
{
    if (!m_pDb) {
        return 0;
    }
    // Every pending row gets exactly one end, so a line holds as many open pendings as it has pending
    // rows beyond its ends; the same bytes sent twice share their lines.
    static const char* const kOpenSql =
        "SELECT g.source, g.sha256, g.line, g.open, r.path, g.placed FROM (SELECT source, sha256, line, "
        "MAX(id) AS last, SUM(state = 'placed') AS placed, "
        "SUM(state = 'pending') - SUM(state IN ('placed', 'dispatch_rejected', 'cleared', 'unfinished')) "
        "AS open FROM receipts WHERE id >= (SELECT COALESCE(MAX(first_receipt_id), 0) FROM receipt_starts) "
        "GROUP BY sha256, line, source) g JOIN receipts r ON r.id = g.last WHERE open > 0 ORDER BY g.last";
    // The orders placed since the last start, by line: one per order, whose placed row may be missing.
    static const char* const kPlacedSql =
        "SELECT DISTINCT s.source, s.sha256, o.source_line, o.source_id, o.batch_id FROM orders o JOIN "
        "receipt_sources s ON s.id = o.source_id WHERE o.id >= (SELECT COALESCE(MAX(first_order_id), 0) "
        "FROM receipt_starts) AND o.source_id IS NOT NULL ORDER BY o.batch_id";
    QString strError;
    CStatement query;
    if (!exec("BEGIN IMMEDIATE", strError) || !prepare(kPlacedSql, query, strError)) {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("order journal: open receipts not read: {0}", strError.toStdString()));
        rollback("unfinished receipts");
        return 0;
    }
    const auto text = [&](int nColumn) {
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(query.get(), nColumn)),
                          sqlite3_column_bytes(query.get(), nColumn));
    };
    std::map<std::tuple<QByteArray, QByteArray, int>, std::vector<qint64>> batchesByLine;
    int nResult = SQLITE_ROW;
    while ((nResult = sqlite3_step(query.get())) == SQLITE_ROW) {
        batchesByLine[std::make_tuple(text(0), text(1), sqlite3_column_int(query.get(), 2))].push_back(
            sqlite3_column_int64(query.get(), 4));
    }
    const QByteArray at = nowText();
    const QByteArray reason = strReason.toUtf8();
    std::vector<receipts::CRow> rows;
    int nUnfinished = 0;
    if (nResult == SQLITE_DONE && prepare(kOpenSql, query, strError)) {
        while ((nResult = sqlite3_step(query.get())) == SQLITE_ROW) {
            const int nLine = sqlite3_column_int(query.get(), 2);
            int nOpen = sqlite3_column_int(query.get(), 3);
            // A line placed whose placed row was lost gets it now: its orders row says so.
            const auto it = batchesByLine.find(std::make_tuple(text(0), text(1), nLine));
            if (it != batchesByLine.end()) {
                const std::vector<qint64>& batches = it->second;
                const int nPlacedRows = sqlite3_column_int(query.get(), 5);
                const int nLost =
                    std::min(nOpen, std::max(0, static_cast<int>(batches.size()) - nPlacedRows));
                for (size_t i = batches.size() - static_cast<size_t>(nLost); i < batches.size(); ++i) {
                    rows.push_back({at, text(0), text(1), QByteArrayLiteral("placed"), QByteArray(),
                                    QByteArray(), text(4), nLine, batches[i]});
                }
                nOpen -= nLost;
            }
            const receipts::CRow row{at,     text(0),      text(1), QByteArrayLiteral("unfinished"),
                                     reason, QByteArray(), text(4), nLine,
                                     -1};
            rows.insert(rows.end(), static_cast<size_t>(nOpen), row);
            nUnfinished += nOpen;
        }
    }
    query.reset();
    // The rows and the mark of how far they reach are one transaction.
    CStatement mark;
    bool bDone = nResult == SQLITE_DONE && insertReceipts(rows) >= 0 &&
                 prepare("INSERT INTO receipt_starts (at, first_receipt_id, first_order_id, last_source_id) "
                         "SELECT ?1, (SELECT COALESCE(MAX(id), 0) + 1 FROM receipts), "
                         "(SELECT COALESCE(MAX(id), 0) + 1 FROM orders), ?2",
                         mark, strError);
    if (bDone) {
        bindText(mark.get(), 1, at);
        sqlite3_bind_int64(mark.get(), 2, m_nLastSourceId);
        bDone = step(mark.get());
        mark.reset();
    }
    if (!bDone || !exec("COMMIT", strError)) {
        logSqlError("open receipts not closed");
        rollback("unfinished receipts");
        receiptsFailed(static_cast<int>(rows.size()));
        return 0;
    }
    appendReceiptFiles(rows);
    return nUnfinished;
}

COrderJournal::COrderJournal() = default;

COrderJournal::~COrderJournal()
{
    close();
}

bool COrderJournal::open(const QString& strDbPath, QString& strError)
{
    std::unique_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker) {
        drain();
        m_pWorker->call([this] { m_pWorker->closeDb(); }, true);
        m_pWorker.reset();
    }
    auto pWorker = std::make_unique<CWorker>();
    CWorker* pRaw = pWorker.get();
    pRaw->m_pOwner = this;
    if (!pRaw->call([&] { return pRaw->openDb(strDbPath, strError); })) {
        LOG4CXX_ERROR(g_TTStdLogger, strError.toStdString());
        return false;
    }
    m_pWorker = std::move(pWorker);
    return true;
}

void COrderJournal::close()
{
    std::unique_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker) {
        drain();
        m_pWorker->call([this] { m_pWorker->closeDb(); }, true);
        m_pWorker.reset();
    }
}

bool COrderJournal::refuseBatch(int nStrategyNo, int nOrders) const
{
    if (!m_pWorker) {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("order journal not open: batch of {0} orders of strategy {1} "
                                  "not recorded",
                                  nOrders, nStrategyNo));
        m_sigRecordFailed(RECORD_BATCH, nOrders);
        return true;
    }
    if (nOrders == 0) {
        LOG4CXX_WARN(g_TTStdLogger,
                     fmt::format("order journal: empty batch of strategy {0} ignored", nStrategyNo));
        return true;
    }
    return false;
}

qint64 COrderJournal::recordBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                                  const QVector<COrderReceipt>& placed)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (refuseBatch(nStrategyNo, orders.size())) {
        return -1;
    }
    return m_pWorker->call([&] { return m_pWorker->runBatch(nStrategyNo, orders, placed); });
}

bool COrderJournal::postBatch(int nStrategyNo, const QVector<COrderParam>& orders,
                              const QVector<COrderReceipt>& placed, std::function<void(qint64)> done)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (refuseBatch(nStrategyNo, orders.size())) {
        return false;
    }
    // The vectors are shared, not copied: the caller's are not written to.
    m_pWorker->post([pWorker = m_pWorker.get(), nStrategyNo, orders, placed, done = std::move(done)] {
        const qint64 nBatchId = pWorker->runBatch(nStrategyNo, orders, placed);
        if (done) {
            done(nBatchId);
        }
    });
    return true;
}

bool COrderJournal::recordCancel(const std::string& strCode, const std::string& strAccount,
                                 const std::string& strOrderId, bool bByNumber)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker) {
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
    if (!m_pWorker) {
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

void COrderJournal::setReceiptsDir(const QString& strDir)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker) {
        m_pWorker->call([&] { m_pWorker->m_strReceiptsDir = strDir; });
    }
}

void COrderJournal::recordReceipts(const QVector<COrderReceipt>& receipts)
{
    if (receipts.isEmpty()) {
        return;
    }
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker) {
        LOG4CXX_ERROR(g_TTStdLogger,
                      fmt::format("order journal not open: {0} receipts not recorded", receipts.size()));
        m_sigRecordFailed(RECORD_RECEIPTS, receipts.size());
        return;
    }
    m_pWorker->postReceipts(receipts);
}

void COrderJournal::recordReceipts(std::function<QVector<COrderReceipt>()> make)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker) {
        const int nRows = make().size();
        LOG4CXX_ERROR(g_TTStdLogger, fmt::format("order journal not open: {0} receipts not recorded", nRows));
        m_sigRecordFailed(RECORD_RECEIPTS, nRows);
        return;
    }
    m_pWorker->postReceipts(std::move(make));
}

void COrderJournal::flush()
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (m_pWorker) {
        drain();
    }
}

void COrderJournal::drain()
{
    // A batch queues its receipts when it is written: the records first, then every receipt.
    m_pWorker->call([] {});
    m_pWorker->call([] {}, true);
}

int COrderJournal::finishOpenReceipts(const QString& strReason)
{
    std::shared_lock<std::shared_mutex> lock(m_lifeMutex);
    if (!m_pWorker) {
        return 0;
    }
    return m_pWorker->call([&] { return m_pWorker->finishOpenReceipts(strReason); }, true);
}

} // namespace TC
