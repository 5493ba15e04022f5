#pragma once
// The paging rules of a results view: where the next page of a list search is, and whether a
// source has more to give after a page. No Qt.
#include "market/OpenPlatformTypes.h"

#include <cstddef>
#include <string>

namespace yfx {

inline constexpr std::size_t kPageItems = 40; // items a page of either source holds
inline constexpr int kMaxPages = 15;          // pages one view asks for at most (600 items)

// The address of page `page` (0 the first) of a list search whose first page is at `first`:
// `first` itself, then `first` + "&s=" + 40 × page.
std::string ListPageAddress(const std::string& first, int page);

// What one page's answer said of the pages after it.
struct PageAnswer {
    ResultSource source = ResultSource::ListSearch;
    int pagesShown = 0;          // pages answered so far, this one included
    std::size_t received = 0;    // elements the answer held, before any was left out
    std::string totalResults;    // the open platform's "total_results" as sent ("" none)
    bool itemsFull = false;      // the view holds all the items it may hold
};

// True when another page is worth asking for: the page came full (kPageItems or more), fewer
// than kMaxPages pages have come, the view is not full and, for the open platform, the pages so
// far (pagesShown × kPageItems) stay below a total_results that is a plain number.
bool HasMorePages(const PageAnswer& page);

// True when a viewport whose top edge is `top` and whose height is `viewportHeight` reaches
// within one screen of the end of content `contentHeight` high.
bool NearEnd(int top, int viewportHeight, int contentHeight);

} // namespace yfx
