#pragma once
// The signed open-platform request for an item's affiliate click address.
#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using RequestParam = std::pair<std::string, std::string>;

// Sorts the pairs by name (byte-wise) in place and returns the MD5 of
// secret + name1 value1 + ... + secret as 32 upper-case hex digits.
std::string SignRequest(std::vector<RequestParam>& params, const std::string& secret);

// The whole signed gateway address for an item (values unencoded, "sign" last), with the
// timestamp taken from the request clock now.
std::string BuildClickRequestUrl(const std::string& pid, const std::string& itemId, const std::string& appKey,
                                 const std::string& secret);

// The longest gateway answer that is read: the answer for one item is well under 1 KB.
constexpr std::size_t kMaxGatewayAnswerBytes = std::size_t{64} << 10;

// The affiliate click address of an item, or "" when none could be had: failed fetch,
// an answer longer than kMaxGatewayAnswerBytes, unreadable answer, an error document, an empty
// list, a click_url that is not a string or not an http(s) address, memory running out.
// Never reports, never throws. Blocks for the fetch.
std::string GetClickUrl(const std::string& pid, const std::string& itemId, const std::string& appKey,
                        const std::string& secret);

// The click address in a fetched gateway answer, by the same rules as GetClickUrl.
std::string ClickUrlFromAnswer(const std::string& text);

// True when the text starts with "http://" or "https://" (case-insensitive) and has a host.
bool IsWebAddress(const std::string& url);

// The request clock: seconds since the epoch, printed in local time. Tests may replace it
// (an empty function restores the system clock).
void SetRequestClock(std::function<std::time_t()> clock);
std::string RequestTimestamp();
// The request clock's reading now (the system clock unless a test replaced it).
std::time_t RequestClockTime();
