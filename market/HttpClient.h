#pragma once
// The only two network operations of the program, on libcurl.
//
// Results: 0 when the server answered (a status other than 200 gives an empty text or no
// file), -1 when the address cannot be opened or the local file cannot be created, -2 when the
// transfer broke off. Callers test only the sign. Both block the calling thread; both send the
// user-agent "HttpClient", follow redirects, honour the proxy environment variables (never for
// loopback addresses), give up connecting after about 10 s and abort a transfer that stalls
// for about 30 s or lasts longer than 30 s (a text) or 60 s (a file) in all.
#include <atomic>
#include <string>

typedef void CURL;

// A connection object for a batch of downloads: one curl easy handle, so that sequential
// downloads to one host reuse one kept-alive connection. Belongs to one thread at a time.
class CHttpSession {
public:
    CHttpSession();
    ~CHttpSession();
    CHttpSession(const CHttpSession&) = delete;
    CHttpSession& operator=(const CHttpSession&) = delete;

    // A flag that, once set, makes the transfer under way end at once with -2
    // (the results view sets it when it closes). May be null.
    void SetAbortFlag(const std::atomic<bool>* flag) { m_abort = flag; }
    const std::atomic<bool>* AbortFlag() const { return m_abort; }

    CURL* Handle() const { return m_curl; }

private:
    CURL* m_curl;
    const std::atomic<bool>* m_abort = nullptr;
};

// Fetches a document into `text`: every line of the body followed by "\r\n", every carriage
// return of the body dropped. `text` is emptied first; after -2 it holds the lines read so far,
// or nothing when the document is longer than kMaxTextBytes (32 MiB).
int HttpGetText(const std::string& url, std::string& text);

// Fetches a resource into the file at `path`, overwriting it. The body goes to a temporary file
// in the same folder that replaces the target only when complete, so no reader ever sees half
// a picture; on any failure the target is left as it was. A status other than 200 writes
// nothing and gives 0. Links are never followed when the file is created.
int HttpGetFile(CHttpSession& session, const std::string& url, const std::string& path);

// The address with every byte that is not legal in a URL percent-escaped (a space becomes
// %20); every legal byte, '%' included, is kept as it is.
std::string EscapeIllegalUrlBytes(const std::string& url);
