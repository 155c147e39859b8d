#pragma once

#include <QString>

#include <cstdint>

namespace TC {

// Level of a console message; single bits so that a mask can select levels. Any other 32-bit value
// may be reported too (the host can call showMsg), hence the fixed underlying type.
enum EBatchOrderMsgLevel : int32_t
{
    MSG_LEVEL_SYSTEM = 1,
    MSG_LEVEL_ORDER = 2,
    MSG_LEVEL_ERROR = 4,
    MSG_LEVEL_WARNING = 8,
};

// One console message: its level and the complete console line (time of day, level tag, text).
// Not changed after setMsg, so it is shared freely between threads.
class CBatchOrderMessageData
{
public:
    void setMsg(EBatchOrderMsgLevel eLevel, const QString& strText);
    EBatchOrderMsgLevel getLevel() const { return m_nLevel; }
    QString getMsg() const { return m_strMsg; }

    // " [system] ", " [order] ", " [error] ", " [warning] ", or " " for any other value.
    static QString levelTag(EBatchOrderMsgLevel eLevel);

private:
    EBatchOrderMsgLevel m_nLevel = MSG_LEVEL_SYSTEM;
    QString m_strMsg;
};

} // namespace TC
