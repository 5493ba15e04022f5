#pragma once
// Gathering the open browser pages of every source.
#include "panes/finder/CBrowserPageSource.h"

#include <memory>
#include <string>
#include <vector>

namespace yfx {

// The pages of every source, source after source in the order given, each source's pages in
// its own order. A null source is skipped; a source that throws anyway is skipped as if it had
// answered nothing. Blocks while the sources are read (about a second at worst per source).
std::vector<BrowserPage> CollectBrowserPages(const std::vector<CBrowserPageSource*>& sources);

// The sources of this desktop, in the order their pages are taken: Firefox's session stores
// under $HOME first, then the Chromium-family DevTools endpoint on loopback
// (YFX_DEVTOOLS_PORT, default 9222). Create them for each run: they read the environment
// when they are created.
std::vector<std::unique_ptr<CBrowserPageSource>> DefaultBrowserPageSources();

// The keywords of the item pages open in the browsers of this desktop:
// FindItemTitles(CollectBrowserPages(DefaultBrowserPageSources())). GBK. Blocks as above.
std::vector<std::string> FindBrowsedItemTitles();

} // namespace yfx
