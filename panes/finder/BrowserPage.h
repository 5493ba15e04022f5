#pragma once
// One page open in a web browser, as the browser reports it.
#include <string>

namespace yfx {

struct BrowserPage {
    std::string url;   // the page address, UTF-8 as the browser gives it
    std::string title; // the page title, UTF-8; "" when the browser has none
};

} // namespace yfx
