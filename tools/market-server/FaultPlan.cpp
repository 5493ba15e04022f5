#include "tools/market-server/FaultPlan.h"

#include <charconv>

namespace yfx::server {
namespace {

struct KindInfo {
    const char* name;
    FaultKind kind;
    bool needsArg;
    bool allowsArg;
    std::int64_t low, high, fallback;
};

constexpr KindInfo kKinds[] = {
    {"status", FaultKind::Status, true, true, 100, 599, 0},
    {"stall", FaultKind::Stall, false, true, 1, 60, 60},
    {"cut", FaultKind::Cut, false, false, 0, 0, 0},
    {"malformed", FaultKind::Malformed, false, false, 0, 0, 0},
    {"nonstring", FaultKind::NonString, false, false, 0, 0, 0},
    {"unsafe-name", FaultKind::UnsafeName, false, false, 0, 0, 0},
    {"size", FaultKind::Size, true, true, 0, std::int64_t{1} << 30, 0},
    {"delay", FaultKind::Delay, true, true, 0, 600000, 0},
    {"platform-error", FaultKind::PlatformError, true, true, 1, 99999, 0},
    {"stall-ms", FaultKind::StallMs, true, true, 1, 60000, 0},
    {"elements", FaultKind::Elements, true, true, 1, 256, 0},
    {"redirect-nowhere", FaultKind::RedirectNowhere, false, false, 0, 0, 0},
    {"huge-picture", FaultKind::HugePicture, false, true, 1, 65535, 5000},
    {"endless", FaultKind::Endless, false, false, 0, 0, 0},
    {"drip", FaultKind::Drip, false, true, 1, 60000, 1000},
    {"stream", FaultKind::Stream, true, true, 0, std::int64_t{1} << 30, 0},
    {"huge-png", FaultKind::HugePng, false, true, 1, 8000, 4000},
    {"rate-limit", FaultKind::RateLimit, true, true, 0, 86400, 0},
};

} // namespace

std::string FaultPlan::KindName(FaultKind kind)
{
    for (const KindInfo& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

bool FaultPlan::Add(std::string_view faultText, std::string& error)
{
    // the kind and its argument hold no '=': the last one ends the path and its condition
    const std::size_t eq = faultText.rfind('=');
    if (eq == std::string_view::npos || eq == 0) {
        error = "a fault is PATH[?NAME=VALUE]=KIND[:ARG][@N]: " + std::string(faultText);
        return false;
    }
    FaultRule rule;
    rule.pattern = std::string(faultText.substr(0, eq));
    if (const std::size_t question = rule.pattern.find('?'); question != std::string::npos) {
        const std::string condition = rule.pattern.substr(question + 1);
        rule.pattern.resize(question);
        const std::size_t is = condition.find('=');
        if (is == std::string::npos || is == 0) {
            error = "a fault's condition is ?NAME=VALUE: " + condition;
            return false;
        }
        rule.param = condition.substr(0, is);
        rule.value = condition.substr(is + 1);
    }
    if (rule.pattern.empty() || (rule.pattern[0] != '/' && rule.pattern[0] != '*')) {
        error = "a fault path starts with '/' or '*': " + rule.pattern;
        return false;
    }
    std::string_view rest = faultText.substr(eq + 1);
    if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
        const std::string_view times = rest.substr(at + 1);
        std::int64_t n = 0;
        const auto [ptr, ec] = std::from_chars(times.data(), times.data() + times.size(), n);
        if (ec != std::errc() || ptr != times.data() + times.size() || n < 1 || n > 1000000) {
            error = "a fault's count @N wants a number from 1 to 1000000: " + std::string(times);
            return false;
        }
        rule.remaining = std::make_shared<std::atomic<std::int64_t>>(n);
        rest = rest.substr(0, at);
    }
    const std::size_t colon = rest.find(':');
    const std::string_view name = rest.substr(0, colon);
    const std::string_view arg = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    for (const KindInfo& k : kKinds) {
        if (name != k.name)
            continue;
        rule.kind = k.kind;
        rule.arg = k.fallback;
        if (colon == std::string_view::npos) {
            if (k.needsArg) {
                error = std::string("fault kind ") + k.name + " needs an argument (" + k.name + ":N)";
                return false;
            }
        } else {
            if (!k.allowsArg) {
                error = std::string("fault kind ") + k.name + " takes no argument";
                return false;
            }
            std::int64_t value = 0;
            auto [ptr, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
            if (ec != std::errc() || ptr != arg.data() + arg.size() || value < k.low || value > k.high) {
                error = std::string("fault ") + k.name + " wants a number from " + std::to_string(k.low) + " to " +
                        std::to_string(k.high) + ": " + std::string(arg);
                return false;
            }
            rule.arg = value;
        }
        m_rules.push_back(std::move(rule));
        return true;
    }
    error = "unknown fault kind: " + std::string(name);
    return false;
}

const FaultRule* FaultPlan::Find(std::string_view path, const QueryParams* query) const
{
    for (const FaultRule& rule : m_rules) {
        const std::string& p = rule.pattern;
        const bool pathMatches =
            p.size() > 1 && p.front() == '*' ? path.ends_with(std::string_view(p).substr(1))
            : !p.empty() && p.back() == '*'
                ? path.substr(0, p.size() - 1) == std::string_view(p).substr(0, p.size() - 1)
                : path == p;
        if (!pathMatches)
            continue;
        if (!rule.param.empty() && (!query || !query->Has(rule.param) || query->Get(rule.param) != rule.value))
            continue;
        if (rule.remaining && rule.remaining->fetch_sub(1) <= 0)
            continue; // used up
        return &rule;
    }
    return nullptr;
}

} // namespace yfx::server
