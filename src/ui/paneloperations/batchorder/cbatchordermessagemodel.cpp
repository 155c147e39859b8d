#include "cbatchordermessagemodel.h"

#include "batchordercommon.h"
#include "batchorderlog.h"

#include <boost/make_shared.hpp>

namespace TC {

void CBatchOrderMessageModel::updateData(EBatchOrderMsgLevel eLevel, const QString& strText, bool bLog)
{
    auto pData = boost::make_shared<CBatchOrderMessageData>();
    pData->setMsg(eLevel, strText);
    {
        boost::recursive_mutex::scoped_lock lock(m_mutex);
        m_vecMessages.push_back(pData);
        if (m_nLevelMask & pData->getLevel())
            m_sigMessage(pData);
    }
    if (bLog)
        BO_LOG_INFO("{}", toUtf8(strText));
}

std::vector<boost::shared_ptr<CBatchOrderMessageData>> CBatchOrderMessageModel::getAllMsgs() const
{
    boost::recursive_mutex::scoped_lock lock(m_mutex);
    return m_vecMessages;
}

} // namespace TC
