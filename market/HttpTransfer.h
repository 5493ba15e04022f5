#pragma once
// The rules of one HTTP exchange, shared by the blocking calls (HttpGetText, HttpGetFile) and
// the network engine: the options set on a curl easy handle, the sinks that take the body,
// and the result of a finished transfer. Nothing here waits or owns a thread.
//
// Rules: user-agent "HttpClient"; redirects followed (at most 20), only to http(s), and from
// an https address to https only; the proxy variables honoured (no_proxy too, "*" included),
// loopback never proxied; about 10 s to connect; a transfer abandoned when no byte came for
// about 30 s, and when the whole exchange took longer than its time limit (30 s for a text, 60 s
// for a file, unless the request says otherwise). A text keeps every line of the body followed
// by "\r\n" with carriage returns dropped. Every request has a cap, the most its reader takes
// (32 MiB for a text, 8 MiB for a file, unless the request says less): an answer announcing a
// longer body is refused before its body is read, and the body is read no further than the cap
// as it arrives; a text also stops when its lines would be longer than the cap, so the line
// rule never makes it bigger than the cap either. A file goes to a fresh temporary name beside
// the target and is renamed into place only when complete. Results: 0 when the server answered
// (any status other than 200: an empty text and no file; a text over its cap: an empty text,
// with overCap set), -1 when no answer came (a redirect that was refused included) or the local
// file could not be made, -2 when the transfer broke off after an answer began or ran out of
// time, or a file went past its cap (overCap set). Whenever libcurl reports an error the result
// is negative, whatever an earlier hop of a redirect answered. A request may carry header lines
// of its own (a conditional GET: a 304 answer is 0 with status 304, no body and the file left as
// it was); the result carries the caching headers of the final answer.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef void CURL;
struct curl_slist;

namespace yfx::net {

inline constexpr std::size_t kMaxTextBytes = 32u * 1024 * 1024;
inline constexpr std::size_t kMaxFileBytes = 8u * 1024 * 1024;
inline constexpr std::chrono::milliseconds kTextTimeLimit{30000};
inline constexpr std::chrono::milliseconds kFileTimeLimit{60000};

struct Request {
    std::string url;          // bytes illegal in a URL are escaped on the wire only
    std::string body;         // sent as a POST when `post` is set
    std::string contentType;  // of the POST body
    bool post = false;
    std::string filePath;     // non-empty: the body goes to this file, else to the text
    std::size_t maxBytes = 0; // the cap: the most the answer's reader takes; 0: kMaxTextBytes or kMaxFileBytes
    std::chrono::milliseconds timeLimit{0}; // the whole exchange; 0: kTextTimeLimit or kFileTimeLimit
    std::vector<std::string> headers; // "Name: value" lines sent as they are (one containing
                                      // a CR or LF is left out)
};

// The caching headers of the final answer, as sent (empty when absent; each at most
// kMaxCapturedHeaderBytes, a longer one is left out).
struct ResponseHeaders {
    std::string etag;
    std::string lastModified;
    std::string cacheControl;
    std::string expires;
    std::string date;
};
inline constexpr std::size_t kMaxCapturedHeaderBytes = 1024;

struct Result {
    int code = 0;     // 0, -1 or -2 as above
    long status = 0;  // the final HTTP status, 0 when none came
    std::string text; // the body of a text request (empty for a file)
    bool overCap = false;       // the answer was longer than the cap: nothing of it is kept
    std::int64_t length = -1;   // the body length the final answer announced, -1 when none
    std::uint64_t received = 0; // body bytes taken from the network (libcurl's count)
    ResponseHeaders headers;
};

// One exchange on one easy handle. Construct it to set the handle up, run the handle (easy
// perform or a multi handle), then call Finish with libcurl's result. Destroying a transfer
// that did not finish removes its temporary file. `abort`, when set, ends the transfer at
// the next callback.
class Transfer {
public:
    Transfer(CURL* curl, Request request, const std::atomic<bool>* abort = nullptr);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // False when the handle could not be set up (Finish then gives -1).
    bool Ready() const { return m_ready; }
    const Request& Req() const { return m_request; }
    // Applies the status rules, puts a complete file in place, and gives the result.
    Result Finish(int curlCode);

    struct Sink;

private:
    CURL* m_curl;
    Request m_request;
    std::string m_address;
    std::unique_ptr<Sink> m_sink;
    curl_slist* m_headers = nullptr;
    bool m_ready = false;
};

// Process-wide libcurl initialisation (idempotent, thread-safe).
void GlobalInit();

} // namespace yfx::net
