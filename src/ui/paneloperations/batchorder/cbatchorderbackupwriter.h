#pragma once

#include "cbatchordererrorthrottle.h"
#include "cbatchordermessagedata.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

namespace TC {

class CBatchOrderData;

// Appends accepted instruction records to the day's backup file ("batchOrder_back_yyyyMMdd.csv" in the
// host's batch order directory), and removes the temporary copies of instruction files once their
// records are on disk. Failures are reported once per spell, and once more when writing works again;
// nothing is thrown. Called only on the manager's strand.
class CBatchOrderBackupWriter
{
public:
    CBatchOrderBackupWriter() = default;
    CBatchOrderBackupWriter(const CBatchOrderBackupWriter&) = delete;
    CBatchOrderBackupWriter& operator=(const CBatchOrderBackupWriter&) = delete;

    // Appends one row per record (null entries skipped); false when the rows are not in the file.
    bool append(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);
    // Queues a file for the next sync to remove; true when it is the first waiting, so that the caller
    // arranges for a sync. One sync serves every file queued before it.
    bool removeOnceSynced(const QString& strFile);
    // Makes everything appended so far durable (fdatasync), then removes the files queued; when that
    // fails they stay where they are.
    void sync();
    QString backupFileName() const;

    // Console messages about the backup file.
    boost::signals2::signal<void(EBatchOrderMsgLevel, const QString&)> m_sigMessage;

private:
    void failed(const QString& strFile, const QString& strReason, int nRecords);
    void written();

    QSet<QString> m_unsynced; // files and directories written to since the last sync
    QStringList m_removals;
    bool m_bFailing = false;
    int64_t m_nMissing = 0; // records not written in the current spell of failures
    CBatchOrderErrorThrottle m_errors;
};

} // namespace TC
