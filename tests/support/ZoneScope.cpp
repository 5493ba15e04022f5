#include "tests/support/ZoneScope.h"

#include <cstdlib>
#include <ctime>

namespace yfx::test {

ZoneScope::ZoneScope(const char* tz)
{
    const char* old = std::getenv("TZ");
    m_had = old != nullptr;
    m_old = old ? old : "";
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ZoneScope::~ZoneScope()
{
    if (m_had)
        ::setenv("TZ", m_old.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

} // namespace yfx::test
