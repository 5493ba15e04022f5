#include "market/AppState.h"

namespace yfx {

BadgeTable::BadgeTable()
{
    for (int n = 1; n <= kLevels; ++n)
        m_ids[static_cast<size_t>(n - 1)] = 314u + static_cast<unsigned>(n);
}

unsigned BadgeTable::ForLevel(int level) const
{
    if (level < 1 || level > kLevels)
        return 0;
    return m_ids[static_cast<size_t>(level - 1)];
}

} // namespace yfx
