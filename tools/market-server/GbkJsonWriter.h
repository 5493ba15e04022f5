#pragma once
// A tiny JSON writer for GBK text. Strings are written as their bytes; only '"', '\\' and
// control bytes are escaped, so a GBK character whose second byte is 0x5C comes out with that
// byte escaped and reads back intact. Commas are placed automatically.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace yfx::server {

class GbkJsonWriter {
public:
    GbkJsonWriter& BeginObject();
    GbkJsonWriter& EndObject();
    GbkJsonWriter& BeginArray();
    GbkJsonWriter& EndArray();
    GbkJsonWriter& Key(std::string_view key);
    GbkJsonWriter& String(std::string_view bytes);
    GbkJsonWriter& Number(std::int64_t value);
    GbkJsonWriter& Bool(bool value);
    GbkJsonWriter& Null();
    // Writes already formed JSON text as one value.
    GbkJsonWriter& Raw(std::string_view json);

    // Key and string value in one step.
    GbkJsonWriter& Member(std::string_view key, std::string_view value) { return Key(key).String(value); }

    const std::string& Text() const { return m_text; }

    // The escaped form of a byte string, with its quotes.
    static std::string Quote(std::string_view bytes);

private:
    void BeforeValue();

    std::string m_text;
    std::vector<bool> m_hasItems; // one entry per open object or array
    bool m_afterKey = false;
};

} // namespace yfx::server
