#pragma once
// The request log: one JSON object per line (UTF-8), written before the answer's body is
// sent, so that a client holding an answer finds its line already in the file:
//   {"time":"2026-01-02T03:04:05.678Z","method":"GET","path":"/itemlist/default.htm",
//    "query":{"q":"手机 -壳",...},"rawQuery":"&cat=0&ex_q=...","userAgent":"HttpClient",
//    "status":200,"bytes":1234,"fault":"stall"}
// "query" holds every parameter once (the first value of a repeated name), decoded as the
// server decodes it ('+' is a space, GBK turned into UTF-8). "rawQuery" is the query as it
// arrived, with any byte outside printable ASCII written as %XX. "fault" is present only when
// a fault was applied. Thread-safe.
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace yfx::server {

struct RequestLogEntry {
    std::string method;
    std::string path; // decoded path (GBK bytes possible)
    std::vector<std::pair<std::string, std::string>> params; // decoded, GBK
    std::string rawQuery;
    std::string userAgent;
    int status = 0;
    std::size_t bytes = 0;
    std::string fault;
};

class RequestLog {
public:
    RequestLog() = default;
    ~RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // Opens the file for appending; false with a message when it cannot be opened.
    bool Open(const std::string& path, std::string& error);

    // Writes one line and flushes it. Does nothing when no file is open.
    void Write(const RequestLogEntry& entry);

    // The line for an entry (without the line feed), stamped with the current time.
    static std::string Format(const RequestLogEntry& entry);

private:
    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};

} // namespace yfx::server
