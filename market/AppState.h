#pragma once
// State shared across windows that needs no window: the picture folder, the badge table and
// the data a results document carries.
#include <array>
#include <optional>
#include <string>

#include "market/SearchUrl.h"

namespace yfx {

// The private per-user picture folder, created on first need with mode 0700 under
// $XDG_RUNTIME_DIR, else under $TMPDIR or /tmp (as "yuefengxuan-<uid>"). The folder must be a
// real directory owned by the user with no access for others: a link or someone else's folder
// planted in its place is refused. Returns the path ending in '/', or "" when no such folder
// can be had (pictures then fail quietly).
std::string MakePictureFolder();

// The same, under a given parent folder (for tests).
std::string MakePictureFolderUnder(const std::string& parent);

// Badge resource ids: level n (1..20) -> 314 + n.
class BadgeTable {
public:
    BadgeTable();
    // The resource id for a credit level, or 0 when the level has no badge.
    unsigned ForLevel(int level) const;
    static constexpr int kLevels = 20;

private:
    std::array<unsigned, kLevels> m_ids;
};

// The data of one results window: the list-search address, the order (0 by sales, any other
// value by price) and, when a search made the address, the query it was built from (a window
// of the open platform's source searches for that query instead of fetching the address).
struct ResultsDocData {
    std::string m_strAddress;
    int m_nOrder = 0;
    std::optional<SearchQuery> m_query;
};

} // namespace yfx
