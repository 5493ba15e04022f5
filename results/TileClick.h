#pragma once
// The press and release rule of an item tile, apart from any window.
#include "results/TileRules.h"

namespace yfx {

// The press and release rule: a left press arms the tile when it is on the picture or the
// name and disarms it elsewhere; a release on the picture or the name opens the item when the
// tile is armed. A release never disarms, and press and release may be on different areas.
class TileClick {
public:
    void Press(TileArea area) { m_bPressed = area != TileArea::None; }
    bool Release(TileArea area) const { return m_bPressed && area != TileArea::None; }
    bool Pressed() const { return m_bPressed; }

private:
    bool m_bPressed = false;
};

} // namespace yfx
