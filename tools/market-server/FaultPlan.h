#pragma once
// Faults to inject, chosen per request path on the command line
// ("--fault PATH[?NAME=VALUE]=KIND[:ARG][@N]"). PATH is an exact path ("/set/config.jpg"), a
// prefix ending in '*' ("/bao/*", "*" for all) or a suffix after a leading '*'
// ("*_460x460.jpg": every larger thumbnail). "?NAME=VALUE" narrows the rule to requests
// whose parameter NAME (in the query or a form body) is VALUE ("/itemlist/default.htm?s=40");
// "@N" makes it apply to the first N requests it matches only, after which it matches no more.
// The first rule that matches a request wins.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/market-server/QueryParams.h"

namespace yfx::server {

enum class FaultKind {
    Status,     // answer with status ARG and a short page
    Stall,      // send the headers, then nothing until the client gives up (at most ARG s, <= 60)
    Cut,        // announce the whole length, send half of the body, close the connection
    Malformed,  // a JSON answer cut off mid-document (a picture cut in half)
    NonString,  // JSON members the program reads as text given as numbers, objects, arrays
    UnsafeName, // picture addresses whose last element is not a plain file name
    Size,       // an answer of exactly ARG bytes
    Delay,      // wait ARG ms before answering
    PlatformError, // the current affiliate methods answer the platform's error code ARG
    StallMs,    // as Stall, for at most ARG ms
    Elements,   // a JSON answer whose list holds ARG MiB of empty elements "{}"
    RedirectNowhere, // 302 to the same target on a host that cannot be resolved (under .invalid)
    HugePicture,     // a picture of ARG x ARG pixels
    Endless,         // the headers, then body bytes without end (a picture starts as a JPEG)
    Drip,            // the answer's body one byte every ARG ms (its length announced)
    Stream,          // an answer of exactly ARG bytes sent in chunks, its length not announced
    HugePng,         // a picture of ARG x ARG pixels as a PNG
    RateLimit,       // the current affiliate methods answer code 7 announcing a ban of ARG s
};

struct FaultRule {
    std::string pattern;
    FaultKind kind = FaultKind::Status;
    std::int64_t arg = 0;
    std::string param; // the parameter the rule asks for ("" none)
    std::string value; // its value
    // Requests the rule still applies to (shared by the copies of the rule); null: every one.
    std::shared_ptr<std::atomic<std::int64_t>> remaining;
};

class FaultPlan {
public:
    // Reads "PATH[?NAME=VALUE]=KIND[:ARG][@N]"; false with a message in `error` when it is not
    // understood.
    bool Add(std::string_view faultText, std::string& error);

    // The rule for a request to `path` with parameters `query` (null: none; a rule that asks
    // for a parameter then does not match), or null. A rule limited to N requests counts this
    // one. Any thread.
    const FaultRule* Find(std::string_view path, const QueryParams* query = nullptr) const;

    bool Empty() const { return m_rules.empty(); }

    // The kind's command-line name ("unsafe-name").
    static std::string KindName(FaultKind kind);

private:
    std::vector<FaultRule> m_rules;
};

} // namespace yfx::server
