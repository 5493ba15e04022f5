#include "panes/finder/UntrustedJson.h"

#include <exception>
#include <memory>
#include <string>

namespace yfx {

bool ParseUntrustedJson(std::string_view text, Json::Value& root)
{
    root = Json::Value();
    try {
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        builder["allowDroppedNullPlaceholders"] = false;
        builder["stackLimit"] = 512; // the reader throws past this depth; caught below
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        Json::Value parsed;
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors))
            return false;
        root = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        root = Json::Value();
        return false;
    }
}

} // namespace yfx
