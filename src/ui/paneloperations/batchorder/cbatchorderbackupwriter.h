#pragma once

#include "cbatchordererrorthrottle.h"
#include "cbatchordermessagedata.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace TC {

class CBatchOrderData;

// Appends accepted instruction records to the day's backup file ("batchOrder_back_yyyyMMdd.csv" in the
// host's batch order directory), and removes the temporary copies of instruction files once their
// records are on disk. Failures are reported once per spell, and once more when writing works again;
// nothing is thrown. append and removeOnceSynced are called on the manager's strand; the syncs run on a
// thread of the writer, so that the disk holds up neither a dispatch nor the next intake. m_mutex guards
// what the two share and is held while a message is emitted, so the console's lock comes after it.
class CBatchOrderBackupWriter
{
public:
    CBatchOrderBackupWriter() = default;
    // Finishes the syncs asked for, so that the files queued are removed (or kept) before it returns.
    ~CBatchOrderBackupWriter();
    CBatchOrderBackupWriter(const CBatchOrderBackupWriter&) = delete;
    CBatchOrderBackupWriter& operator=(const CBatchOrderBackupWriter&) = delete;

    // Appends one row per record (null entries skipped); false when the rows are not in the file.
    bool append(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);
    // Removes the file once everything appended so far is on disk (fdatasync); if that fails the file
    // stays where it is. One sync serves every file queued while the one before it ran.
    void removeOnceSynced(const QString& strFile);
    QString backupFileName() const;

    // Console messages about the backup file, on the strand or on the writer's thread.
    boost::signals2::signal<void(EBatchOrderMsgLevel, const QString&)> m_sigMessage;

private:
    void syncLoop();
    void failed(const QString& strFile, const QString& strReason, int nRecords);
    void written();

    std::mutex m_mutex;
    std::condition_variable m_syncCondition;
    std::thread m_syncer; // started with the first file queued
    bool m_bStopSyncer = false;
    QSet<QString> m_unsynced; // files and directories written to since the last sync
    QStringList m_removals;
    bool m_bFailing = false;
    int64_t m_nMissing = 0; // records not written in the current spell of failures
    CBatchOrderErrorThrottle m_errors;
};

} // namespace TC
