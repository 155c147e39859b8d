#include "cbatchordermessagedata.h"

#include <QTime>

namespace TC {

QString CBatchOrderMessageData::levelTag(EBatchOrderMsgLevel eLevel)
{
    switch (eLevel)
    {
    case MSG_LEVEL_SYSTEM:
        return QStringLiteral(" [system] ");
    case MSG_LEVEL_ORDER:
        return QStringLiteral(" [order] ");
    case MSG_LEVEL_ERROR:
        return QStringLiteral(" [error] ");
    case MSG_LEVEL_WARNING:
        return QStringLiteral(" [warning] ");
    }
    return QStringLiteral(" ");
}

void CBatchOrderMessageData::setMsg(EBatchOrderMsgLevel eLevel, const QString& strText)
{
    m_nLevel = eLevel;
    m_strMsg = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) + levelTag(eLevel) + strText;
}

} // namespace TC
