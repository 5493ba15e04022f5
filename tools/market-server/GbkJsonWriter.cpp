#include "tools/market-server/GbkJsonWriter.h"

#include <cstdio>

namespace yfx::server {

std::string GbkJsonWriter::Quote(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", u);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

void GbkJsonWriter::BeforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasItems.empty()) {
        if (m_hasItems.back())
            m_text += ',';
        m_hasItems.back() = true;
    }
}

GbkJsonWriter& GbkJsonWriter::BeginObject()
{
    BeforeValue();
    m_text += '{';
    m_hasItems.push_back(false);
    return *this;
}

GbkJsonWriter& GbkJsonWriter::EndObject()
{
    m_text += '}';
    if (!m_hasItems.empty())
        m_hasItems.pop_back();
    return *this;
}

GbkJsonWriter& GbkJsonWriter::BeginArray()
{
    BeforeValue();
    m_text += '[';
    m_hasItems.push_back(false);
    return *this;
}

GbkJsonWriter& GbkJsonWriter::EndArray()
{
    m_text += ']';
    if (!m_hasItems.empty())
        m_hasItems.pop_back();
    return *this;
}

GbkJsonWriter& GbkJsonWriter::Key(std::string_view key)
{
    BeforeValue();
    m_text += Quote(key);
    m_text += ':';
    m_afterKey = true;
    return *this;
}

GbkJsonWriter& GbkJsonWriter::String(std::string_view bytes)
{
    BeforeValue();
    m_text += Quote(bytes);
    return *this;
}

GbkJsonWriter& GbkJsonWriter::Number(std::int64_t value)
{
    BeforeValue();
    m_text += std::to_string(value);
    return *this;
}

GbkJsonWriter& GbkJsonWriter::Bool(bool value)
{
    BeforeValue();
    m_text += value ? "true" : "false";
    return *this;
}

GbkJsonWriter& GbkJsonWriter::Null()
{
    BeforeValue();
    m_text += "null";
    return *this;
}

GbkJsonWriter& GbkJsonWriter::Raw(std::string_view json)
{
    BeforeValue();
    m_text += json;
    return *this;
}

} // namespace yfx::server
