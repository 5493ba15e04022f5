#pragma once
// Parsing JSON written by another program (a browser's session file or debugging endpoint).
#include <json/json.h>

#include <string_view>

namespace yfx {

// Parses `text` (UTF-8 JSON, strict: no comments, nothing after the root) into `root`.
// False, with `root` null, when it does not parse, nests deeper than the reader allows or the
// reader fails in any other way. Never throws.
bool ParseUntrustedJson(std::string_view text, Json::Value& root);

} // namespace yfx
