#include "tools/market-server/ServerOptions.h"

#include <charconv>
#include <string_view>

#include "tools/market-server/Catalogue.h"

namespace yfx::server {
namespace {

template <typename T>
bool ReadNumber(const std::string& text, T low, T high, T& out)
{
    T value{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || text.empty() || value < low || value > high)
        return false;
    out = value;
    return true;
}

} // namespace

std::string ServerHelpText()
{
    return R"(Usage: market-server [OPTION]...
A local stand-in for every server the shopping assistant talks to, on one loopback port:
list-search pages, the open-platform gateway, picture hosts, item and channel pages and the
configuration server. Answers are GBK, like the marketplace's. Point the program at it with
YFX_SERVER=http://127.0.0.1:PORT.

Paths served:
  /itemlist/default.htm, /market/*.htm   list search: JSON {"itemList":[...]} with json=on,
                                         an HTML results page without; 40 items a page in
                                         thirty-day-sales order; s=N starts at match N
                                         (the material search pages with page_no, page_size
                                         and total_results)
  /router/rest                           open-platform gateway (GET or POST, parameters in the
                                         query, a form body or both): the retired
                                         taobao.taobaoke.items.detail.get (GBK, MD5, local time)
                                         and the current taobao.tbk.dg.material.optional.upgrade
                                         and taobao.tbk.item.info.upgrade.get (UTF-8, md5, hmac
                                         or hmac-sha256, GMT+8 time within 10 minutes, answers
                                         with simplify=true or wrapped)
  /s.click?e=ID                          affiliate click address: 302 to the item page
  /item.htm?id=ID                        item page ("...-淘宝网" or "...-tmall.com天猫")
  /go/chn/tbk_channel/channelcode.php    marketplace channel page
  /go/chn/tbk_channel/tmall_new.php      mall channel page
  /set/config.jpg, /set/tbcat.jpg        configuration and category documents
  /bao/uploaded/iN/T1....jpg             item picture, 400 x 400 JPEG; append "_220x220.jpg"
                                         (any _NxN.jpg, N 16..800) for a square thumbnail
  /imgextra/iN/T1....jpg_b.jpg           second picture address, 220 x 220

Options:
  --port N            port on 127.0.0.1 (default 8080; 0 picks a free one). The first line on
                      standard output is "listening on http://127.0.0.1:PORT".
  --seed N            catalogue seed (default 20130328); the same seed gives the same answers
                      byte for byte
  --items N           catalogue size (default 2000, from 400 to 200000)
  --latency-ms N      wait N ms before answering every request
  --picture-kbps N    send pictures at no more than N kilobits per second (0: no cap)
  --picture-max-age S pictures say "Cache-Control: max-age=S" (default 86400); each comes
                      with an ETag (of its bytes) and a Last-Modified, and a request with a
                      matching If-None-Match (else If-Modified-Since) is answered 304
  --picture-version N pictures of version N (default 0): an odd version has its colours
                      inverted, any other than 0 its number inside; their ETags and
                      Last-Modified differ from version 0's
  --log FILE          append one JSON line per request to FILE: time, method, path, query
                      (the decoded parameters as UTF-8, GBK decoded), rawQuery, userAgent,
                      status, bytes and the fault applied
  --fault PATH=KIND[:ARG]
                      inject a fault into answers for PATH (exact, a prefix ending in '*',
                      a suffix after a leading '*' such as '*_460x460.jpg'; '*' alone is
                      every path). Repeatable; the first matching rule wins.
                      KIND is one of
                        status:CODE   answer with this HTTP status
                        stall[:S]     send the headers, then nothing until the client gives
                                      up or S seconds pass (default and at most 60)
                        stall-ms:MS   the same for at most MS milliseconds (1..60000)
                        cut           announce the full Content-Length, send half, close
                        malformed     JSON cut off mid-document (pictures cut in half)
                        nonstring     text members as JSON numbers, objects or arrays (a
                                      picture path answers a page instead of a picture)
                        unsafe-name   picture addresses ending in "..\..\x.jpg"-style names
                        size:N        an answer of exactly N bytes
                        delay:MS      wait MS ms before answering this path
                        platform-error:CODE
                                      the current affiliate methods answer error CODE once
                                      the request's checks pass (11 no permission, 15
                                      remote service error, 7 a rate limit,
                                      50002 the affiliate rate limit)
                        rate-limit:S  the current affiliate methods answer code 7 "This ban
                                      will last for S more seconds"
                        elements:MB   a JSON answer whose list (itemList, nicks, the category
                                      array, the gateway's item details) is MB MiB of "{}"
                                      elements (1..256)
                        redirect-nowhere  302 to the same target on nowhere.invalid, a host
                                      that never resolves
                        huge-picture[:N]  pictures of N x N pixels (default 5000, at most
                                      65535; above 8000 only the header claims the size)
                        endless       the headers, then body bytes without end (a picture
                                      starts as a JPEG; paced by --picture-kbps)
                        drip[:MS]     the answer's body one byte every MS ms (default 1000),
                                      its length announced
                        stream:N      an answer of exactly N bytes (as size:N) sent in
                                      chunks, its length not announced
                        huge-png[:N]  pictures of N x N pixels as PNGs (default 4000, at
                                      most 8000)
  --appkey KEY        open-platform application key (default 12345678)
  --secret SECRET     open-platform secret (default yfx-local-secret)
  --pid PID           affiliate id (default mm_10000001_2000002_30000003)
  --max-clock-skew S  reject gateway timestamps more than S seconds from now (default 0:
                      any well-formed timestamp for the retired method, 600 for the
                      current ones)
  --search NAME       the configuration document's "search" member ("material": the
                      program searches through the open platform's material search)
  --sign-method NAME  the configuration document's "sign_method" member ("hmac-sha256")
  --threads N         worker threads (default 64)
  --day N             answer as N days later (N may be negative, -3650 to 3650): from one
                      day to the next about a third of the items change their price, the
                      same for the same seed and date
  --page-overlap N    every page after the first repeats the last N items of the page before
                      it, as when the marketplace re-sorts between two requests (page k starts
                      at k x (40 - N) for the list search's s=40k, at (page_no - 1) x
                      (page_size - N) for the material search; default 0, at most 39)
  --withhold LIST     what the open platform withholds from an ordinary application, comma-
                      separated: "ratesum" (item details come without the seller's credit
                      level), "scene" (a material search that finds exactly one item answers
                      it without item_id, click_url and coupon_share_url)
  --help              show this text and exit
)";
}

ParseOutcome ParseServerOptions(int argc, char** argv, ServerOptions& o, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return ParseOutcome::Help;
        if (arg.rfind("--", 0) != 0) {
            error = "unexpected argument: " + arg;
            return ParseOutcome::Error;
        }
        std::string value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        } else if (i + 1 < argc) {
            value = argv[i + 1];
            hasValue = true;
        }
        const auto take = [&] {
            if (arg.size() == std::string(argv[i]).size())
                ++i; // the value was the next argument
        };
        if (!hasValue) {
            error = "option " + arg + " needs a value";
            return ParseOutcome::Error;
        }
        bool ok = true;
        if (arg == "--port")
            ok = ReadNumber(value, 0, 65535, o.port);
        else if (arg == "--seed")
            ok = ReadNumber<std::uint64_t>(value, 0, UINT64_MAX, o.seed);
        else if (arg == "--items")
            ok = ReadNumber(value, Catalogue::kMinItems, Catalogue::kMaxItems, o.items);
        else if (arg == "--latency-ms")
            ok = ReadNumber(value, 0, 600000, o.latencyMs);
        else if (arg == "--picture-kbps")
            ok = ReadNumber(value, 0, 10000000, o.pictureKbps);
        else if (arg == "--picture-max-age")
            ok = ReadNumber(value, 0, 31536000, o.pictureMaxAge);
        else if (arg == "--picture-version")
            ok = ReadNumber(value, 0, 1000000, o.pictureVersion);
        else if (arg == "--max-clock-skew")
            ok = ReadNumber(value, 0, 100000000, o.maxClockSkew);
        else if (arg == "--threads")
            ok = ReadNumber(value, 2, 1024, o.threads);
        else if (arg == "--day")
            ok = ReadNumber(value, -3650, 3650, o.day);
        else if (arg == "--page-overlap")
            ok = ReadNumber(value, 0, 39, o.pageOverlap);
        else if (arg == "--withhold") {
            std::string_view rest = value;
            while (ok && !rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view what = rest.substr(0, comma);
                if (what == "ratesum")
                    o.withholdRatesum = true;
                else if (what == "scene")
                    o.withholdScene = true;
                else
                    ok = false;
                rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            }
        }
        else if (arg == "--log")
            o.logPath = value;
        else if (arg == "--appkey")
            o.appKey = value;
        else if (arg == "--secret")
            o.secret = value;
        else if (arg == "--pid")
            o.pid = value;
        else if (arg == "--search")
            o.configSearch = value;
        else if (arg == "--sign-method")
            o.configSignMethod = value;
        else if (arg == "--fault") {
            if (!o.faults.Add(value, error))
                return ParseOutcome::Error;
        } else {
            error = "unknown option: " + arg + " (see --help)";
            return ParseOutcome::Error;
        }
        if (!ok) {
            error = "bad value for " + arg + ": " + value;
            return ParseOutcome::Error;
        }
        take();
    }
    return ParseOutcome::Run;
}

} // namespace yfx::server
