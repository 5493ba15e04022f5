#include "tools/market-server/QueryParams.h"

#include "market/Gbk.h"

namespace yfx::server {
namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::string QueryParams::PercentDecode(std::string_view text, bool plusIsSpace)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+' && plusIsSpace) {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

QueryParams QueryParams::FromTarget(std::string_view target)
{
    const std::size_t mark = target.find('?');
    if (mark != std::string_view::npos)
        target.remove_prefix(mark + 1);
    else if (!target.empty() && target.front() == '/')
        target = {};
    const std::size_t hash = target.find('#');
    if (hash != std::string_view::npos)
        target = target.substr(0, hash);
    return FromQuery(target);
}

QueryParams QueryParams::FromForm(std::string_view body)
{
    return FromQuery(body);
}

void QueryParams::Append(const QueryParams& other)
{
    m_params.insert(m_params.end(), other.m_params.begin(), other.m_params.end());
    m_utf8 = m_utf8 || other.m_utf8;
}

QueryParams QueryParams::FromQuery(std::string_view target)
{
    QueryParams q;
    q.m_raw = std::string(target);
    std::size_t pos = 0;
    while (pos <= target.size()) {
        std::size_t end = target.find('&', pos);
        if (end == std::string_view::npos)
            end = target.size();
        const std::string_view piece = target.substr(pos, end - pos);
        if (!piece.empty()) {
            const std::size_t eq = piece.find('=');
            const std::string_view name = piece.substr(0, eq);
            const std::string_view value = eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
            q.m_params.emplace_back(PercentDecode(name, true), PercentDecode(value, true));
        }
        pos = end + 1;
    }
    const std::string ie = q.Get("ie");
    if (EqualsIgnoreCase(ie, "utf8") || EqualsIgnoreCase(ie, "utf-8")) {
        q.m_utf8 = true;
        for (auto& [name, value] : q.m_params)
            value = Utf8ToGbk(value);
    }
    return q;
}

std::string QueryParams::Get(std::string_view name) const
{
    for (const auto& [n, v] : m_params)
        if (n == name)
            return v;
    return {};
}

bool QueryParams::Has(std::string_view name) const
{
    for (const auto& p : m_params)
        if (p.first == name)
            return true;
    return false;
}

} // namespace yfx::server
