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

#include <cerrno>
#include <cstring>
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
        failed(strFile, QStringLiteral("no backup directory configured"), nRecords);
        return false;
    }

    QFile file(strFile);
    const bool bExisted = QFile::exists(strFile);
    // Unbuffered: a failing write says so at once, with the system's reason.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
    {
        failed(strFile, file.errorString(), nRecords);
        return false;
    }
    if (!bExisted)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const qint64 nSizeBefore = file.size();

    // UTF-8 so that the Chinese texts survive whatever the process locale is. The byte-order mark lets
    // spreadsheet programs recognise UTF-8; it goes only where a batch starts the file.
    QByteArray bytes;
    if (nSizeBefore == 0)
        bytes += "\xEF\xBB\xBF";
    if (!bExisted)
        bytes += CBatchOrderData::columnNames().join(QLatin1Char(',')).toUtf8() + '\n';
    for (const boost::shared_ptr<CBatchOrderData>& pData : datas)
    {
        if (pData)
            bytes += pData->toString().toUtf8() + '\n';
    }
    if (file.write(bytes) != bytes.size())
    {
        const QString strReason = file.errorString();
        // No half row left behind: the next batch starts on a line of its own.
        file.resize(nSizeBefore);
        file.close();
        failed(strFile, strReason, nRecords);
        return false;
    }
    file.close();
    m_unsynced.insert(strFile);
    if (!bExisted)
        m_unsynced.insert(getDefaultBatchOrderDir());
    written();
    return true;
}

bool CBatchOrderBackupWriter::removeOnceSynced(const QString& strFile)
{
    m_removals << strFile;
    return m_removals.size() == 1;
}

void CBatchOrderBackupWriter::sync()
{
    QString strFailed;
    QString strReason;
    for (const QString& strPath : std::exchange(m_unsynced, {}))
    {
        if (strFailed.isEmpty() && !syncToDisk(strPath, strReason))
            strFailed = strPath;
    }
    const QStringList removals = std::exchange(m_removals, {});
    if (strFailed.isEmpty())
    {
        for (const QString& strFile : removals)
            QFile::remove(strFile);
        return;
    }
    for (const QString& strFile : removals)
        BO_LOG_ERROR("kept {0}: its records may not be in the backup file", toUtf8(strFile));
    failed(strFailed, strReason, 0);
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
