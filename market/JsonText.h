#pragma once
// Reading untrusted JSON answers with JsonCpp's legacy reader (all features: comments
// allowed, any root). Never throws: deep nesting and every other reader failure end as a
// failed parse.
#include <json/json.h>
#include <string>

namespace yfx::json {

struct Document {
    std::string text;  // the parsed text; number values are read back from it
    Json::Value root;
    std::string errors; // the reader's formatted error list when parsing failed
};

// Parses `text` into `doc` (which keeps its own copy). False when it does not parse.
bool Parse(const std::string& text, Document& doc);

// A value read as text: a string gives its bytes, null "", true/false "true"/"false", a
// number the exact text the server sent for it, an array or object "".
std::string ReadText(const Document& doc, const Json::Value& value);

// The member `key` of `object` read as text; "" when `object` is not an object or lacks it.
std::string MemberText(const Document& doc, const Json::Value& object, const char* key);

// The member `key` of `object`, or null when `object` is not an object or lacks it.
const Json::Value& Member(const Json::Value& object, const char* key);

} // namespace yfx::json
