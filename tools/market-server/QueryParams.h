#pragma once
// The query of a request target, decoded as the marketplace decodes it: "+" is a space, "%XX"
// is the byte XX (a "%" not followed by two hex digits stays as it is), and the bytes are GBK
// unless the query says "ie=utf8", in which case the values are turned from UTF-8 into GBK.
// Names and values keep their order; a name may occur more than once.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace yfx::server {

class QueryParams {
public:
    // From a raw request target ("/path?a=1&b=2") or a bare query ("a=1&b=2" after the "?").
    static QueryParams FromTarget(std::string_view target);

    // From a form-encoded request body ("a=1&b=2"), decoded like a query.
    static QueryParams FromForm(std::string_view body);

    // Appends every parameter of another list after these (a query, then its form body).
    void Append(const QueryParams& other);

    // "%XX" to bytes; with plusIsSpace also "+" to " ".
    static std::string PercentDecode(std::string_view text, bool plusIsSpace);

    // The first value of a name, or "" when it is absent.
    std::string Get(std::string_view name) const;
    bool Has(std::string_view name) const;

    const std::vector<std::pair<std::string, std::string>>& All() const { return m_params; }
    // The query exactly as it arrived (without the "?").
    const std::string& Raw() const { return m_raw; }
    // True when the values were given in UTF-8 ("ie=utf8").
    bool Utf8Input() const { return m_utf8; }

private:
    static QueryParams FromQuery(std::string_view query);

    std::vector<std::pair<std::string, std::string>> m_params;
    std::string m_raw;
    bool m_utf8 = false;
};

} // namespace yfx::server
