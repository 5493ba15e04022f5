#include "LocalHttpServer.h"

LocalHttpServer::LocalHttpServer()
{
    m_server.set_tcp_nodelay(true);
    m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::lock_guard lock(m_mutex);
        m_seen.push_back({req.path, req.target, req.get_header_value("User-Agent"), req.remote_port});
        m_ports.insert(req.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

LocalHttpServer::~LocalHttpServer()
{
    m_server.stop();
    if (m_thread.joinable())
        m_thread.join();
}

void LocalHttpServer::Start()
{
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
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
