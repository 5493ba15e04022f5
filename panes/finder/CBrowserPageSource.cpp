#include "panes/finder/CBrowserPageSource.h"

namespace yfx {

CBrowserPageSource::~CBrowserPageSource() = default;

} // namespace yfx
