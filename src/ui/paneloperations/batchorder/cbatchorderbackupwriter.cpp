#include "cbatchorderbackupwriter.h"

#include "batchordercommon.h"
#include "batchorderlog.h"
#include "cbatchorderdata.h"

#include "base/utils.h"
#include "config/cconfig.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace TC {

namespace {

// Forces what was written to a file (or the entries of a directory) to the disk; false with the system's
// reason when that fails, which is also how a write error the kernel met later comes to light.
bool syncToDisk(const QString& strPath, QString& strReason)
{
#ifdef Q_OS_UNIX
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY | O_CLOEXEC);
    if (nFd < 0 || ::fdatasync(nFd) != 0)
    {
        strReason = QString::fromLocal8Bit(std::strerror(errno));
        if (nFd >= 0)
            ::close(nFd);
        return false;
    }
    ::close(nFd);
#else
    (void)strPath;
    (void)strReason;
#endif
    return true;
}

// Room reserved per row; a longer row only makes the buffer grow.
constexpr int kTypicalRowBytes = 128;

// Appends one row: the values joined by commas in UTF-8, and "\n". Rows of ASCII, nearly all of them, are
// copied character by character into the buffer; any other goes through the joined text's conversion.
void appendRow(QByteArray& bytes, const QStringList& values)
{
    int nLength = std::max(1, values.size()); // the commas and the "\n"
    for (const QString& strValue : values)
        nLength += strValue.size();
    const int nOld = bytes.size();
    bytes.resize(nOld + nLength);
    char* pOut = bytes.data() + nOld;
    for (int i = 0; i < values.size(); ++i)
    {
        if (i > 0)
            *pOut++ = ',';
        const QString& strValue = values.at(i);
        const QChar* pChars = strValue.constData();
        for (int n = 0; n < strValue.size(); ++n)
        {
            const ushort nChar = pChars[n].unicode();
            if (nChar >= 0x80)
            {
                bytes.resize(nOld);
                bytes += values.join(QLatin1Char(',')).toUtf8();
                bytes += '\n';
                return;
            }
            *pOut++ = static_cast<char>(nChar);
        }
    }
    *pOut = '\n';
}

} // namespace

bool CBatchOrderBackupWriter::append(const QVector<boost::shared_ptr<CBatchOrderData>>& datas)
{
    int nRecords = 0;
    for (const boost::shared_ptr<CBatchOrderData>& pData : datas)
        nRecords += pData ? 1 : 0;
    const QString strFile = backupFileName();
    // Without a configured directory the path would be relative to wherever the host was started.
    if (getDefaultBatchOrderDir().isEmpty())
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        failed(strFile, QStringLiteral("no backup directory configured"), nRecords);
        return false;
    }

    QFile file(strFile);
    const bool bExisted = QFile::exists(strFile);
    // Unbuffered: a failing write says so at once, with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        failed(strFile, file.errorString(), nRecords);
        return false;
    }
    if (!bExisted)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const qint64 nSizeBefore = file.size();

    // UTF-8 so that the Chinese texts survive whatever the process locale is. The byte-order mark lets
    // spreadsheet programs recognise UTF-8; it goes only where a batch starts the file.
    QByteArray bytes;
    try
    {
        if (nSizeBefore == 0)
            bytes += "\xEF\xBB\xBF";
        if (!bExisted)
            bytes += CBatchOrderData::columnNames().join(QLatin1Char(',')).toUtf8() + '\n';
        // The same bytes as each record's toString() in UTF-8, without a joined copy and its conversion
        // for every record.
        bytes.reserve(bytes.size() + nRecords * kTypicalRowBytes);
        for (const boost::shared_ptr<CBatchOrderData>& pData : datas)
        {
            if (pData)
                appendRow(bytes, pData->toStringList());
        }
    }
    catch (const std::bad_alloc&)
    {
        // Nothing leaves the strand from here: the batch is reported as not backed up instead.
        file.close();
        std::lock_guard<std::mutex> lock(m_mutex);
        failed(strFile, QStringLiteral("out of memory"), nRecords);
        return false;
    }
    if (file.write(bytes) != bytes.size())
    {
        const QString strReason = file.errorString();
        // No half row left behind: the next batch starts on a line of its own.
        file.resize(nSizeBefore);
        file.close();
        std::lock_guard<std::mutex> lock(m_mutex);
        failed(strFile, strReason, nRecords);
        return false;
    }
    file.close();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unsynced.insert(strFile);
    if (!bExisted)
        m_unsynced.insert(getDefaultBatchOrderDir());
    written();
    return true;
}

void CBatchOrderBackupWriter::removeOnceSynced(const QString& strFile)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_removals << strFile;
    if (!m_syncer.joinable())
    {
        try
        {
            m_syncer = std::thread(&CBatchOrderBackupWriter::syncLoop, this);
            utils::setThreadName(m_syncer.native_handle(), "batch_order_sync");
        }
        catch (const std::system_error& e)
        {
            // No thread to spare: the file stays, as after a failed sync, and says why.
            m_removals.removeLast();
            BO_LOG_ERROR("kept {0}: {1}", toUtf8(strFile), e.what());
            return;
        }
    }
    m_syncCondition.notify_one();
}

CBatchOrderBackupWriter::~CBatchOrderBackupWriter()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopSyncer = true;
    }
    m_syncCondition.notify_one();
    if (m_syncer.joinable())
        m_syncer.join();
}

void CBatchOrderBackupWriter::syncLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;)
    {
        m_syncCondition.wait(lock, [this] { return !m_removals.isEmpty() || m_bStopSyncer; });
        if (m_removals.isEmpty())
            return;
        // The records of every file queued by now were appended before it was queued, so syncing the
        // paths written by now covers them; appends meanwhile go to the next round.
        const QSet<QString> paths = std::exchange(m_unsynced, {});
        const QStringList removals = std::exchange(m_removals, {});
        lock.unlock();
        QString strFailed;
        QString strReason;
        for (const QString& strPath : paths)
        {
            if (strFailed.isEmpty() && !syncToDisk(strPath, strReason))
                strFailed = strPath;
        }
        for (const QString& strFile : removals)
        {
            if (strFailed.isEmpty())
                QFile::remove(strFile);
            else
                BO_LOG_ERROR("kept {0}: its records may not be in the backup file", toUtf8(strFile));
        }
        lock.lock();
        if (!strFailed.isEmpty())
            failed(strFailed, strReason, 0);
    }
}

QString CBatchOrderBackupWriter::backupFileName() const
{
    return getDefaultBatchOrderDir() + QDir::separator() + QStringLiteral("batchOrder_back_") +
           QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

void CBatchOrderBackupWriter::failed(const QString& strFile, const QString& strReason, int nRecords)
{
    m_nMissing += nRecords;
    for (const std::string& strLine :
         m_errors.error("backup failed!" + toUtf8(strFile) + ": " + toUtf8(strReason), utils::clockMSec()))
        BO_LOG_ERROR("{0}", strLine);
    if (m_bFailing)
        return;
    m_bFailing = true;
    m_sigMessage(MSG_LEVEL_ERROR,
                 QStringLiteral(
                     "备份文件写入失败(%1): %2! 恢复写入前的记录不在备份文件中, 指令文件的临时副本保留不删.")
                     .arg(strReason, strFile));
}

void CBatchOrderBackupWriter::written()
{
    for (const std::string& strLine : m_errors.recovered(utils::clockMSec()))
        BO_LOG_INFO("{0}", strLine);
    if (!m_bFailing)
        return;
    m_bFailing = false;
    m_sigMessage(MSG_LEVEL_WARNING, QStringLiteral("备份文件恢复写入: %1, 其间 %2 条记录未写入备份文件.")
                                        .arg(backupFileName(), QString::number(m_nMissing)));
    m_nMissing = 0;
}

} // namespace TC
