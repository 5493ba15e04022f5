#include "tests/app/ProcessWatch.h"

#include <fstream>
#include <httplib.h>
#include <sstream>

namespace yfx::test {

bool ProcessEnded(long long pid)
{
    if (pid <= 0)
        return true;
    // /proc/PID/stat: "PID (name) STATE ..."; the name may hold spaces and parentheses
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!in || !std::getline(in, stat))
        return true;
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' ||
           stat[close + 2] == 'X';
}

int LoopbackStatus(int port, const std::string& path)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(5, 0);
    const auto result = client.Get(path.c_str());
    return result ? result->status : 0;
}

} // namespace yfx::test
