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
    const long long grid = std::min<long long>(rows * (th + 1LL) + 1, INT_MAX);
    const long long total = std::min<long long>(grid + std::max(in.footerHeight, 0), INT_MAX);

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
    out.footerTop = static_cast<int>(grid);

    if (in.firstLayout) {
        out.positions.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            out.positions.push_back(GridCell(i, left, tw, th));
    }
    out.firstLayoutDone = true;
    return out;
}

CellSpan CellsNearViewport(int count, int tileHeight, int top, int viewportHeight, int screens)
{
    CellSpan span;
    const long long pitch = std::max(tileHeight, 0) + 1LL; // a row and its gap
    if (count <= 0 || viewportHeight <= 0)
        return span;
    const long long reach = static_cast<long long>(viewportHeight) * std::max(screens, 0);
    const long long from = static_cast<long long>(top) - reach;
    const long long to = static_cast<long long>(top) + viewportHeight + reach; // exclusive
    const long long rows = (count + kGridColumns - 1) / kGridColumns;
    // row r covers [1 + r * pitch, 1 + r * pitch + tileHeight)
    const long long before = from - 1 - std::max(tileHeight, 0); // rows ending at or above `from` lie above it
    const long long firstRow = before < 0 ? 0 : before / pitch + 1;
    long long lastRow = to <= 1 ? -1 : (to - 2) / pitch;
    lastRow = std::min(lastRow, rows - 1);
    if (lastRow < firstRow)
        return span;
    span.first = static_cast<int>(firstRow * kGridColumns);
    span.last = static_cast<int>(std::min<long long>(lastRow * kGridColumns + kGridColumns - 1, count - 1LL));
    return span;
}

int TilePoolSize(int tileHeight, int viewportHeight, int screens)
{
    if (viewportHeight <= 0)
        return 0;
    const long long pitch = std::max(tileHeight, 0) + 1LL;
    const long long reach = static_cast<long long>(viewportHeight) * (2LL * std::max(screens, 0) + 1);
    // a band `reach` high meets at most ceil((reach - 1) / pitch) + 1 rows
    const long long rows = (reach - 1 + pitch - 1) / pitch + 1;
    return static_cast<int>(std::min<long long>(rows * kGridColumns, INT_MAX));
}

int MoveFocus(int cell, int count, FocusMove move, int pageRows)
{
    if (count <= 0)
        return -1;
    if (cell < 0 || cell >= count)
        return 0;
    const int columns = kGridColumns;
    const int page = std::max(1, pageRows) * columns;
    const int lastRowStart = (count - 1) / columns * columns;
    switch (move) {
    case FocusMove::Left:
        return std::max(0, cell - 1);
    case FocusMove::Right:
        return std::min(count - 1, cell + 1);
    case FocusMove::Up:
        return cell >= columns ? cell - columns : cell;
    case FocusMove::Down:
        if (cell + columns < count)
            return cell + columns;
        return cell < lastRowStart ? count - 1 : cell;
    case FocusMove::PageUp:
        return cell >= page ? cell - page : cell % columns;
    case FocusMove::PageDown:
        if (cell + page < count)
            return cell + page;
        return std::max(cell, std::min(count - 1, lastRowStart + cell % columns));
    case FocusMove::Home:
        return 0;
    case FocusMove::End:
        return count - 1;
    }
    return cell;
}

} // namespace yfx
