#include "LocalHttpServer.h"

LocalHttpServer::LocalHttpServer()
{
    m_server.set_tcp_nodelay(true);
    // a thread per connection: the program keeps up to six alive per host, and tests hold
    // answers half-way
    m_server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::lock_guard lock(m_mutex);
        m_seen.push_back({req.path, req.target, req.get_header_value("User-Agent"), req.remote_port});
        m_ports.insert(req.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

LocalHttpServer::~LocalHttpServer() = default;

void LocalHttpServer::Start()
{
    m_listener = std::make_unique<yfx::test::LoopbackListener>(m_server);
    m_port = m_listener->Port();
}

std::vector<LocalHttpServer::Seen> LocalHttpServer::Requests()
{
    std::lock_guard lock(m_mutex);
    return m_seen;
}

size_t LocalHttpServer::Connections()
{
    std::lock_guard lock(m_mutex);
    return m_ports.size();
}
