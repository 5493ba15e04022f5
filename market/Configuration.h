#pragma once
// The remote configuration document ("/set/config.jpg" on the configuration server).
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "market/OpenPlatformTypes.h"

// The longest configuration document that is read: a few dozen seller nicks and announcements
// are a few KB; a longer text is refused unread, like one that is not JSON.
constexpr std::size_t kMaxConfigurationBytes = std::size_t{1} << 20;

struct Configuration {
    std::string appKey;                     // "appkey"
    std::string appSecret;                  // "secret"
    std::string pid;                        // "pid"
    std::map<std::string, int> sellerNicks; // "nicks"[i].nick -> i (a repeated nick keeps the last i)
    // "sellerids": {"<nickname>": <seller id>, ...}, the open platform's numeric ids of sellers
    // named by nickname (those of "nicks", the seller of today's picks). An id is kept as its
    // digits (a number or a text of 1 to 20 digits); other values are left out.
    std::map<std::string, std::string> sellerIds;
    std::vector<std::string> announcements; // "affiches"[].affiche in document order
    ResultSource source = ResultSource::ListSearch; // "search": "material" -> OpenPlatform, else ListSearch
    SignMethod signMethod = SignMethod::Md5;         // "sign_method": "hmac-sha256" -> HmacSha256, else Md5
    // Not from the document: the buyer's address that the user set in the program's settings
    // (open-platform requests then carry it as "ip"); empty: none is sent.
    std::string buyerIp;
};

// The ad-zone id of an affiliate id: the third number of "mm_A_B_C" (C, as written). "" when
// the pid is not of that form: not "mm_", not exactly three numbers, a number empty, longer
// than 20 digits or with anything but the digits 0-9 in it.
std::string AdzoneIdOf(const std::string& pid);

// Empties `cfg`, fetches the document and fills `cfg` from it. False when the fetch failed,
// the text is longer than kMaxConfigurationBytes or is not JSON, its root is null, or memory
// ran out (all values empty then); true for an empty answer (also a non-200 one) and for a
// readable document. Never throws.
bool ReadConfiguration(Configuration& cfg, const std::string& url);

// Reads an already fetched document; `fetchResult` is the HttpGetText result. Never throws.
bool ReadConfigurationText(int fetchResult, const std::string& text, Configuration& cfg);

std::string ConfigDocumentUrl();   // configuration server + "/set/config.jpg"
std::string CategoryDocumentUrl(); // configuration server + "/set/tbcat.jpg"
