#pragma once

#include "base/csingletont.h"

#include <boost/asio/io_service.hpp>
#include <boost/asio/strand.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace net {

// The host's task engine: a small pool of worker threads and named strands on it. Tasks posted to one
// strand run one at a time in posting order, on whichever worker is free. Any thread may call getStrand
// and post; stop() is called once by the host at shutdown.
class RPCEngine
{
public:
    RPCEngine();
    ~RPCEngine();
    RPCEngine(const RPCEngine&) = delete;
    RPCEngine& operator=(const RPCEngine&) = delete;

    // The same name always gives the same strand.
    boost::shared_ptr<boost::asio::io_service::strand> getStrand(const std::string& strName);

    // Lets the queued tasks finish, then joins the workers. Later posts are not run.
    void stop();

private:
    boost::asio::io_service m_ioService;
    std::optional<boost::asio::io_service::work> m_work;
    boost::thread_group m_threads;
    boost::mutex m_mutex;
    std::map<std::string, boost::shared_ptr<boost::asio::io_service::strand>> m_strands;
    bool m_bStopped = false;
};

} // namespace net

template <>
net::RPCEngine* utils::CSingletonT<net::RPCEngine>::instance();
