#include "watch/BackOff.h"

#include <algorithm>
#include <cctype>

namespace yfx::watch {

bool IsRateLimit(const PlatformError& error)
{
    return error.code == "7" || error.code == "50002" || error.subCode == "50002";
}

std::optional<std::chrono::seconds> AnnouncedBan(const std::string& text)
{
    static const std::string kBefore = "last for ";
    static const std::string kAfter = " more second";
    const std::size_t at = text.find(kBefore);
    if (at == std::string::npos)
        return std::nullopt;
    std::size_t i = at + kBefore.size();
    long long n = 0;
    const std::size_t first = i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > kLongestAnnouncedBan.count())
            n = kLongestAnnouncedBan.count();
    }
    if (i == first || text.compare(i, kAfter.size(), kAfter) != 0)
        return std::nullopt;
    return std::chrono::seconds(n);
}

std::optional<std::chrono::seconds> BackOffFor(const PlatformError& error, int inARow)
{
    if (!IsRateLimit(error))
        return std::nullopt;
    if (error.code == "7") {
        for (const std::string* text : {&error.subMsg, &error.msg})
            if (const auto ban = AnnouncedBan(*text))
                return ban;
    }
    std::chrono::seconds wait = kFirstBackOff;
    for (int i = 0; i < inARow && wait < kLongestBackOff; ++i)
        wait *= 2;
    return std::min(wait, kLongestBackOff);
}

} // namespace yfx::watch
