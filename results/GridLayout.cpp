#include "results/GridLayout.h"

#include <algorithm>
#include <climits>

namespace yfx {

GridPoint GridCell(int index, int left, int tileWidth, int tileHeight)
{
    const int column = index % kGridColumns;
    const int row = index / kGridColumns;
    return {left + column * (tileWidth + 1), 1 + row * (tileHeight + 1)};
}

GridResult ComputeGridLayout(const GridInput& in)
{
    GridResult out;
    const int n = std::max(in.tileCount, 0);
    if (n == 0)
        return out;
    out.empty = false;

    const int tw = std::max(in.tileWidth, 0);
    const int th = std::max(in.tileHeight, 0);
    // The client size the view would have without scroll bars.
    const long long fullWidth =
        std::max(in.clientWidth, 0) + (in.hasVScroll ? std::max(in.vScrollWidth, 0) : 0);
    const long long fullHeight =
        std::max(in.clientHeight, 0) + (in.hasHScroll ? std::max(in.hScrollHeight, 0) : 0);

    const long long rows = (n + kGridColumns - 1) / kGridColumns;
    const long long total = std::min<long long>(rows * (th + 1LL) + 1, INT_MAX);

    long long w = fullWidth;
    if (total > fullHeight)
        w -= in.scrollBarWidth;
    int left;
    if (w > kGridMinWidth) {
        left = static_cast<int>((w - kGridMinWidth) / 2);
    } else {
        w = kGridMinWidth;
        left = 1;
    }
    out.left = left;
    out.shift = left - in.previousLeft;
    out.scrollWidth = static_cast<int>(std::min<long long>(w - 1, INT_MAX));
    out.scrollHeight = static_cast<int>(total);

    if (in.firstLayout) {
        out.positions.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            out.positions.push_back(GridCell(i, left, tw, th));
    }
    out.firstLayoutDone = true;
    return out;
}

bool TileNearView(int top, int height, int viewTop, int viewHeight, int screens)
{
    const long long view = std::max(viewHeight, 0);
    const long long from = static_cast<long long>(viewTop) - view * screens;
    const long long to = static_cast<long long>(viewTop) + view + view * screens;
    return top < to && static_cast<long long>(top) + std::max(height, 0) > from;
}

} // namespace yfx
