#pragma once
// How long a check waits when the open platform limits its calls, before it asks again for the
// same items. Pure rules.
//
// A rate limit is the platform's code 7 ("App Call Limited", sub_code
// accesscontrol.limited-by-…) or the affiliate code 50002 ("调用频率高，请稍后再试", as code or
// sub_code). When its text announces the ban ("This ban will last for N more seconds", in
// sub_msg or msg), the wait is N seconds (at most a day); otherwise it grows from one minute,
// doubling with each rate limit in a row, up to one hour.
#include "market/OpenPlatformAnswer.h"

#include <chrono>
#include <optional>

namespace yfx::watch {

inline constexpr std::chrono::seconds kFirstBackOff{60};
inline constexpr std::chrono::seconds kLongestBackOff{3600};
inline constexpr std::chrono::seconds kLongestAnnouncedBan{86400};

bool IsRateLimit(const PlatformError& error);

// The seconds the text announces ("… last for N more seconds"), if it does.
std::optional<std::chrono::seconds> AnnouncedBan(const std::string& text);

// The wait before asking again after a rate limit; `inARow` counts the rate limits before
// this one without an answer between them (0 for the first). Nothing when it is no rate limit.
std::optional<std::chrono::seconds> BackOffFor(const PlatformError& error, int inARow);

} // namespace yfx::watch
