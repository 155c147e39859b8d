#include "cbatchorderbackupwriter.h"

#include "cbatchorderdata.h"

#include "config/cconfig.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace TC {

void CBatchOrderBackupWriter::append(const QVector<boost::shared_ptr<CBatchOrderData>>& datas)
{
    // Without a configured directory the path would be relative to wherever the host was started.
    if (getDefaultBatchOrderDir().isEmpty())
        return;

    QFile file(backupFileName());
    const bool bExisted = QFile::exists(file.fileName());
    // A missing directory or a locked file loses this batch's backup only; intake goes on regardless.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;

    // UTF-8 so that the Chinese texts survive whatever the process locale is. The byte-order mark lets
    // spreadsheet programs recognise UTF-8, but QTextStream would emit one on every append, in the middle
    // of the file, so it is written only when the stream starts the file.
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream.setGenerateByteOrderMark(file.size() == 0);

    if (!bExisted)
        stream << CBatchOrderData::columnNames().join(QLatin1Char(',')) << '\n';
    for (const boost::shared_ptr<CBatchOrderData>& pData : datas)
    {
        if (pData)
            stream << pData->toString() << '\n';
    }
    stream.flush();
    file.close();
}

QString CBatchOrderBackupWriter::backupFileName() const
{
    return getDefaultBatchOrderDir() + QDir::separator() + QStringLiteral("batchOrder_back_")
           + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

} // namespace TC
