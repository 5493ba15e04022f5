#include "panes/finder/BrowserPages.h"

#include "panes/finder/CDevToolsSource.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "panes/finder/ItemPageRules.h"

#include <exception>

namespace yfx {

std::vector<BrowserPage> CollectBrowserPages(const std::vector<CBrowserPageSource*>& sources)
{
    std::vector<BrowserPage> pages;
    for (CBrowserPageSource* source : sources) {
        if (!source)
            continue;
        try {
            std::vector<BrowserPage> more = source->Pages();
            pages.insert(pages.end(), std::make_move_iterator(more.begin()),
                         std::make_move_iterator(more.end()));
        } catch (const std::exception&) {
            // a source that fails counts as one that has no pages
        }
    }
    return pages;
}

std::vector<std::unique_ptr<CBrowserPageSource>> DefaultBrowserPageSources()
{
    std::vector<std::unique_ptr<CBrowserPageSource>> sources;
    sources.push_back(std::make_unique<CFirefoxSessionSource>());
    sources.push_back(std::make_unique<CDevToolsSource>());
    return sources;
}

std::vector<std::string> FindBrowsedItemTitles()
{
    std::vector<std::unique_ptr<CBrowserPageSource>> owned = DefaultBrowserPageSources();
    std::vector<CBrowserPageSource*> sources;
    for (const auto& source : owned)
        sources.push_back(source.get());
    return FindItemTitles(CollectBrowserPages(sources));
}

} // namespace yfx
