#include "market/JsonText.h"

#include <exception>

namespace yfx::json {

bool Parse(const std::string& text, Document& doc)
{
    doc.text = text;
    doc.root = Json::Value();
    doc.errors.clear();
    try {
        Json::Reader reader(Json::Features::all());
        if (reader.parse(doc.text, doc.root, true))
            return true;
        doc.errors = reader.getFormattedErrorMessages();
    } catch (const std::exception& e) {
        // the reader throws on nesting beyond its stack limit
        doc.errors = std::string("* ") + e.what() + "\n";
    }
    doc.root = Json::Value();
    return false;
}

std::string ReadText(const Document& doc, const Json::Value& value)
{
    switch (value.type()) {
    case Json::nullValue:
        return {};
    case Json::stringValue: {
        const char* begin = nullptr;
        const char* end = nullptr;
        if (value.getString(&begin, &end))
            return std::string(begin, end);
        return {};
    }
    case Json::booleanValue:
        return value.asBool() ? "true" : "false";
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue: {
        // the number exactly as the server wrote it, not as a double prints
        const auto start = static_cast<size_t>(value.getOffsetStart());
        const auto limit = static_cast<size_t>(value.getOffsetLimit());
        if (start < limit && limit <= doc.text.size())
            return doc.text.substr(start, limit - start);
        return value.asString();
    }
    case Json::arrayValue:
    case Json::objectValue:
        return {};
    }
    return {};
}

const Json::Value& Member(const Json::Value& object, const char* key)
{
    static const Json::Value null;
    if (!object.isObject())
        return null;
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : null;
}

std::string MemberText(const Document& doc, const Json::Value& object, const char* key)
{
    return ReadText(doc, Member(object, key));
}

} // namespace yfx::json
