#include "tests/support/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace yfx::test {

LoopbackListener::LoopbackListener(httplib::Server& server, const char* host) : m_server(server)
{
    m_nPort = m_server.bind_to_any_port(host);
    if (m_nPort <= 0) {
        m_nPort = -1;
        return;
    }
    m_thread = std::thread([this] {
        m_server.listen_after_bind();
        m_bEnded = true;
    });
    // the loop has started, or listening failed at once: either way stop() can no longer be lost
    while (!m_server.is_running() && !m_bEnded.load())
        std::this_thread::yield();
    if (!m_server.is_running()) {
        m_thread.join();
        m_nPort = -1;
    }
}

LoopbackListener::~LoopbackListener()
{
    if (m_thread.joinable()) {
        m_server.stop();
        m_thread.join();
    }
}

int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

} // namespace yfx::test
