#pragma once
// Sets the time zone (TZ) for the life of the object and restores the one before.
#include <string>

namespace yfx::test {

class ZoneScope {
public:
    explicit ZoneScope(const char* tz);
    ~ZoneScope();
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool m_had = false;
    std::string m_old;
};

} // namespace yfx::test
