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
    {"platform-error", FaultKind::PlatformError, true, true, 1, 99, 0},
    {"stall-ms", FaultKind::StallMs, true, true, 1, 60000, 0},
    {"elements", FaultKind::Elements, true, true, 1, 256, 0},
    {"redirect-nowhere", FaultKind::RedirectNowhere, false, false, 0, 0, 0},
    {"huge-picture", FaultKind::HugePicture, false, true, 1, 65535, 5000},
    {"endless", FaultKind::Endless, false, false, 0, 0, 0},
    {"drip", FaultKind::Drip, false, true, 1, 60000, 1000},
    {"stream", FaultKind::Stream, true, true, 0, std::int64_t{1} << 30, 0},
    {"huge-png", FaultKind::HugePng, false, true, 1, 8000, 4000},
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
    const std::size_t eq = faultText.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        error = "a fault is PATH=KIND[:ARG]: " + std::string(faultText);
        return false;
    }
    FaultRule rule;
    rule.pattern = std::string(faultText.substr(0, eq));
    if (rule.pattern[0] != '/' && rule.pattern != "*") {
        error = "a fault path starts with '/' (or is '*'): " + rule.pattern;
        return false;
    }
    std::string_view rest = faultText.substr(eq + 1);
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

const FaultRule* FaultPlan::Find(std::string_view path) const
{
    for (const FaultRule& rule : m_rules) {
        const std::string& p = rule.pattern;
        if (!p.empty() && p.back() == '*') {
            if (path.substr(0, p.size() - 1) == std::string_view(p).substr(0, p.size() - 1))
                return &rule;
        } else if (path == p) {
            return &rule;
        }
    }
    return nullptr;
}

} // namespace yfx::server
