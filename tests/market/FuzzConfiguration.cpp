// libFuzzer: any text read as the configuration document or as a local file ends in an orderly way, and a
// failed read leaves nothing configured.
#include "market/Configuration.h"
#include "market/LocalConfiguration.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    Configuration cfg;
    cfg.appKey = "stale";
    cfg.announcements.push_back("stale");
    const bool read = ReadConfigurationText(0, text, cfg);
    const bool empty = cfg.appKey.empty() && cfg.appSecret.empty() && cfg.pid.empty() && cfg.sellerNicks.empty() &&
                       cfg.announcements.empty();
    if (!read && !empty)
        __builtin_trap();
    // Every value is a piece of the text: nothing longer than the text can come out of it.
    for (const std::string* value : {&cfg.appKey, &cfg.appSecret, &cfg.pid})
        if (value->size() > size)
            __builtin_trap();
    if (cfg.sellerNicks.size() + cfg.announcements.size() > size)
        __builtin_trap();
    // A failed fetch is never read.
    Configuration none;
    if (ReadConfigurationText(-2, text, none) || !none.appKey.empty())
        __builtin_trap();
    // The same text as a local file: read or refused, never more values than the text holds.
    LocalConfigFile local;
    const LocalConfigProblem problem = ReadLocalConfigText(text, local);
    if (problem.kind != LocalConfigProblem::Kind::None && problem.kind != LocalConfigProblem::Kind::BadMembers &&
        (local.members.appKey || local.members.sellerNicks || local.dataSource != DataSource::Unset))
        __builtin_trap();
    return 0;
}
