#include "base/crpcengine.h"

#include "base/utils.h"

#include <boost/make_shared.hpp>

namespace net {

namespace {
constexpr int kWorkerThreads = 2;
}

RPCEngine::RPCEngine()
{
    m_work.emplace(m_ioService);
    for (int i = 0; i < kWorkerThreads; ++i)
    {
        m_threads.create_thread([this, i] {
            utils::setThreadName("rpc_worker_" + std::to_string(i));
            m_ioService.run();
        });
    }
}

RPCEngine::~RPCEngine()
{
    stop();
}

boost::shared_ptr<boost::asio::io_service::strand> RPCEngine::getStrand(const std::string& strName)
{
    boost::mutex::scoped_lock lock(m_mutex);
    auto& pStrand = m_strands[strName];
    if (!pStrand)
        pStrand = boost::make_shared<boost::asio::io_service::strand>(m_ioService);
    return pStrand;
}

void RPCEngine::stop()
{
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_bStopped)
            return;
        m_bStopped = true;
    }
    // Without the work guard run() returns once the queued tasks are done.
    m_work.reset();
    m_threads.join_all();
}

} // namespace net

template <>
net::RPCEngine* utils::CSingletonT<net::RPCEngine>::instance()
{
    static net::RPCEngine s_engine;
    return &s_engine;
}
