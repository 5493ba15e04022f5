#pragma once
// Which browser pages are item pages, which keyword each gives, and how the candidate menu
// of the search pane numbers them. Plain functions on GBK text.
#include "market/Endpoints.h"
#include "panes/finder/BrowserPage.h"

#include <cstddef>
#include <string>
#include <vector>

namespace yfx {

// Command id of the first candidate menu entry; entry i has id kFirstCandidateId + i.
constexpr int kFirstCandidateId = 32772;
// At most this many candidates get a menu entry (ids 32772..32781); the rest cannot be chosen.
constexpr int kMaxCandidates = 10;

// The address prefix of an item page of the given channel: EndpointBase(which) +
// "/item.htm?", e.g. "http://item.taobao.com/item.htm?". Meant for Endpoint::MallItem and
// Endpoint::MarketItem (any other endpoint gives its base with the same suffix).
std::string ItemPagePrefix(Endpoint which);

// True when the GBK address contains (case-sensitive, anywhere) the mall's item-page prefix
// or, failing that, the marketplace's. The prefixes come from the endpoints, which are plain
// "http://" addresses, so a page reached over https does not match.
bool IsItemPage(const std::string& gbkUrl);

// The search keyword of a GBK page title: the text before its last "-" (found from the end,
// never counting the trail byte of a double-byte character), or the whole title when it has
// none. Nothing is trimmed: "abc -x" gives "abc ", "-x" gives "".
std::string KeywordFromTitle(const std::string& gbkTitle);

// The keywords of the item pages among `pages`, in the pages' order. Address and title are
// turned from UTF-8 into GBK first (a character without a GBK form becomes '?'). The same item
// open twice gives its keyword twice. Reads the endpoints; no I/O.
std::vector<std::string> FindItemTitles(const std::vector<BrowserPage>& pages);

// How many entries the candidate menu shows for `candidateCount` titles: at most kMaxCandidates.
int CandidateMenuCount(std::size_t candidateCount);

// The candidate a menu command chooses: commandId - kFirstCandidateId, or -1 when that is
// negative, not below `candidateCount` or not below kMaxCandidates (no such menu entry).
int CandidateIndex(int commandId, std::size_t candidateCount);

} // namespace yfx
