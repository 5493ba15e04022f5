#include "tools/market-server/RequestLog.h"

#include <chrono>
#include <ctime>
#include <set>

#include "market/Gbk.h"

namespace yfx::server {
namespace {

// A JSON string of valid UTF-8 text.
std::string QuoteUtf8(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string PrintableAscii(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string NowText()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    return buf;
}

} // namespace

RequestLog::~RequestLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool RequestLog::Open(const std::string& path, std::string& error)
{
    std::lock_guard lock(m_mutex);
    m_file = std::fopen(path.c_str(), "a");
    if (!m_file) {
        error = "cannot open the log file " + path;
        return false;
    }
    return true;
}

std::string RequestLog::Format(const RequestLogEntry& e)
{
    std::string line = "{\"time\":\"" + NowText() + "\",\"method\":" + QuoteUtf8(PrintableAscii(e.method)) +
                       ",\"path\":" + QuoteUtf8(GbkToUtf8(e.path)) + ",\"query\":{";
    std::set<std::string> seen;
    bool first = true;
    for (const auto& [name, value] : e.params) {
        const std::string key = GbkToUtf8(name);
        if (!seen.insert(key).second)
            continue;
        if (!first)
            line += ',';
        first = false;
        line += QuoteUtf8(key) + ":" + QuoteUtf8(GbkToUtf8(value));
    }
    line += "},\"rawQuery\":" + QuoteUtf8(PrintableAscii(e.rawQuery)) + ",\"userAgent\":" +
            QuoteUtf8(GbkToUtf8(e.userAgent)) + ",\"status\":" + std::to_string(e.status) +
            ",\"bytes\":" + std::to_string(e.bytes);
    if (!e.fault.empty())
        line += ",\"fault\":" + QuoteUtf8(e.fault);
    return line + "}";
}

void RequestLog::Write(const RequestLogEntry& entry)
{
    const std::string line = Format(entry) + "\n";
    std::lock_guard lock(m_mutex);
    if (!m_file)
        return;
    std::fwrite(line.data(), 1, line.size(), m_file);
    std::fflush(m_file);
}

} // namespace yfx::server
