#pragma once
// The arithmetic of the results grid: three columns of equal tiles with one-pixel gaps and
// margins, centred in a 700-pixel minimum width. No window system: the view feeds it sizes
// and applies what comes back.
#include <vector>

namespace yfx {

struct GridPoint {
    int x = 0;
    int y = 0;
    bool operator==(const GridPoint&) const = default;
};

struct GridInput {
    int tileCount = 0;
    int tileWidth = 0; // client size of the first tile
    int tileHeight = 0;
    int clientWidth = 0; // the view's client size now, without any scroll bar
    int clientHeight = 0;
    bool hasVScroll = false; // a vertical scroll bar is shown now
    bool hasHScroll = false; // a horizontal scroll bar is shown now
    int vScrollWidth = 0;    // width of the vertical scroll bar shown now
    int hScrollHeight = 0;   // height of the horizontal scroll bar shown now
    int scrollBarWidth = 0;  // the view's m_nScrollBarWidth, taken off when rows overflow
    int previousLeft = 0;    // the view's m_nLeft
    bool firstLayout = true; // the view's m_bFirstLayout
    int footerHeight = 0;    // a row below the grid (the view's "more" row), 0 for none
};

struct GridResult {
    // No tiles: scroll size 100 x 100, nothing moves, the first-layout flag stays set.
    bool empty = true;
    int left = 0;          // new m_nLeft (L)
    int shift = 0;         // L minus the previous left offset (d)
    int scrollWidth = 100; // total scroll size: (w - 1) x (T + footer)
    int scrollHeight = 100;
    int footerTop = 0;     // where the footer row starts (T)
    // First layout: every tile's top-left corner, tile by tile, row by row; empty otherwise
    // (a later layout moves every tile by `shift` when it is not 0).
    std::vector<GridPoint> positions;
    bool firstLayoutDone = false; // the view clears m_bFirstLayout
};

inline constexpr int kGridColumns = 3;
inline constexpr int kGridMinWidth = 700;

// The layout for the given sizes. Negative counts or sizes count as 0; the result's sizes
// never overflow for tile counts up to the view's limit.
GridResult ComputeGridLayout(const GridInput& in);

// The top-left corner of cell `index` of a grid whose left offset is `left`.
GridPoint GridCell(int index, int left, int tileWidth, int tileHeight);

// A run of cells, first to last inclusive; empty when last < first.
struct CellSpan {
    int first = 0;
    int last = -1;
    bool empty() const { return last < first; }
    bool Contains(int index) const { return index >= first && index <= last; }
    bool operator==(const CellSpan&) const = default;
};

// The cells of a grid of `count` tiles that lie, wholly or in part, within `screens` viewport
// heights above or below a viewport whose top edge is at `top` (every cell that may be
// scrolled into sight soon). Tiles are `tileHeight` high with the grid's one-pixel gaps.
CellSpan CellsNearViewport(int count, int tileHeight, int top, int viewportHeight, int screens = 1);

// The most cells CellsNearViewport can return for a viewport of this height, whatever the
// scroll position: the number of tiles a view needs at most.
int TilePoolSize(int tileHeight, int viewportHeight, int screens = 1);

// A key that moves the focus of a view between its cells.
enum class FocusMove { Left, Right, Up, Down, PageUp, PageDown, Home, End };

// The cell the focus goes to from `cell` in a grid of `count` cells of kGridColumns columns, in
// grid order: Left and Right go to the cell before and after (across the ends of grid rows),
// Up and Down a grid row up or down (Down from a grid row above a shorter last one goes to
// the last cell), PageUp and PageDown `pageRows` grid rows (at least 1) in the same column,
// stopping at the first or last grid row, Home and End to the first and last cell. Without a
// focused cell (-1) every move goes to the first cell; with no cells the result is -1. A move
// past an end stays where it is.
int MoveFocus(int cell, int count, FocusMove move, int pageRows);

} // namespace yfx
