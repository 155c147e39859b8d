#pragma once

#include "cbatchordermessagedata.h"

#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/thread/recursive_mutex.hpp>

#include <vector>

namespace TC {

// Store of every console message of the process, oldest first; consoles replay it and follow new ones.
// updateData is called from any thread (GUI, strand, checker); the append and the emission happen under
// one lock, so every console sees the messages in the stored order. Slots run on the reporting thread
// with the lock held and must not block.
class CBatchOrderMessageModel
{
public:
    CBatchOrderMessageModel() = default;
    CBatchOrderMessageModel(const CBatchOrderMessageModel&) = delete;
    CBatchOrderMessageModel& operator=(const CBatchOrderMessageModel&) = delete;

    void updateData(EBatchOrderMsgLevel eLevel, const QString& strText, bool bLog);
    std::vector<boost::shared_ptr<CBatchOrderMessageData>> getAllMsgs() const;

    boost::signals2::signal<void(const boost::shared_ptr<CBatchOrderMessageData>&)> m_sigMessage;

private:
    int m_nLevelMask = MSG_LEVEL_SYSTEM | MSG_LEVEL_ORDER | MSG_LEVEL_ERROR | MSG_LEVEL_WARNING;

public:
    // Held while a snapshot is taken and while a record is appended and emitted.
    mutable boost::recursive_mutex m_mutex;

private:
    std::vector<boost::shared_ptr<CBatchOrderMessageData>> m_vecMessages;
};

} // namespace TC
