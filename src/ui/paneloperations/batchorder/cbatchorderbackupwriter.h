#pragma once

#include <boost/shared_ptr.hpp>

#include <QString>
#include <QVector>

namespace TC {

class CBatchOrderData;

// Appends accepted instruction records to the day's backup file ("batchOrder_back_yyyyMMdd.csv" in the
// host's batch order directory). Called only on the manager's strand; stateless.
class CBatchOrderBackupWriter
{
public:
    void append(const QVector<boost::shared_ptr<CBatchOrderData>>& datas);
    QString backupFileName() const;
};

} // namespace TC
