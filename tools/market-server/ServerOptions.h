#pragma once
// The command line of the local marketplace server.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/market-server/FaultPlan.h"

namespace yfx::server {

struct ServerOptions {
    int port = 8080;                     // 0: any free port
    std::uint64_t seed = 20130328;       // catalogue seed
    int items = 2000;                    // catalogue size
    int latencyMs = 0;                   // added to every request
    int pictureKbps = 0;                 // picture bandwidth cap in kilobits per second, 0 none
    int pictureMaxAge = 86400;           // seconds in the pictures' Cache-Control max-age
    int pictureVersion = 0;              // pictures of another version differ (and so do their ETags)
    std::string logPath;                 // request log (JSON lines), empty none
    FaultPlan faults;
    std::string appKey = "12345678";
    std::string secret = "yfx-local-secret";
    std::string pid = "mm_10000001_2000002_30000003";
    int maxClockSkew = 0; // seconds a gateway timestamp may be off; 0 does not check
    int threads = 64;     // worker threads
    int day = 0;          // answer as this many days later (prices move from day to day)
    std::string configSearch;     // "search" of the configuration document ("material"), empty none
    std::string configSignMethod; // "sign_method" of the configuration document, empty none
    int pageOverlap = 0;          // each later page repeats this many items of the one before (a re-sort)
    bool withholdRatesum = false; // item details without "ratesum" (an ordinary application)
    bool withholdScene = false;   // a search finding one item answers it without item_id and click_url
};

enum class ParseOutcome { Run, Help, Error };

// Reads argv into options ("--name VALUE" and "--name=VALUE" both work). On Error `error`
// says what was wrong.
ParseOutcome ParseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);

// The --help text.
std::string ServerHelpText();

} // namespace yfx::server
