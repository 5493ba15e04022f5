#pragma once
// Opening an item away from its tile (the watch list, a notification) by the tile's rule: an
// item of the open platform opens its affiliate address as it is; a list-search item asks the
// gateway for its affiliate address first and opens its own page when none comes within the
// tile's wait. GUI thread only.
#include "market/TBRecord.h"

class QObject;

namespace yfx {

// Starts opening `record`'s item; the exchange, if any, belongs to `owner` (nothing is opened
// once `owner` is gone). False when the record has no address to open.
bool OpenItemByRule(QObject* owner, const CTBRecord& record);

} // namespace yfx
