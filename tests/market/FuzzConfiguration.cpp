// libFuzzer: any text read as the configuration document ends in an orderly way, and a
// failed read leaves nothing configured.
#include "market/Configuration.h"

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
    return 0;
}
