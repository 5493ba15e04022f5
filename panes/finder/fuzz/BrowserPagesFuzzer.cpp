// Feeds arbitrary bytes to every reader of another program's data: the mozLz4 session file,
// the session document and the DevTools page list.
#include "panes/finder/CDevToolsSource.h"
#include "panes/finder/CFirefoxSessionSource.h"
#include "panes/finder/ItemPageRules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto json = yfx::CFirefoxSessionSource::DecodeSessionFile(bytes))
        yfx::FindItemTitles(yfx::CFirefoxSessionSource::PagesFromSessionJson(*json));
    yfx::FindItemTitles(yfx::CFirefoxSessionSource::PagesFromSessionJson(bytes));
    yfx::FindItemTitles(yfx::CDevToolsSource::PagesFromPageList(bytes));
    yfx::KeywordFromTitle(std::string(bytes));
    return 0;
}
