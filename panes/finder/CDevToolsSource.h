#pragma once
// The pages open in a Chromium-family browser (Chromium, Chrome, Edge) started with
// --remote-debugging-port: its DevTools HTTP endpoint on loopback lists them at
// GET http://127.0.0.1:PORT/json/list, most recently used first.
#include "panes/finder/CBrowserPageSource.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace yfx {

class CDevToolsSource : public CBrowserPageSource {
public:
    static constexpr int kDefaultPort = 9222;
    // The whole request, connecting included, ends after this long.
    static constexpr long kTimeoutMs = 1000;
    // A longer answer is cut off and gives no pages.
    static constexpr std::size_t kMaxAnswerBytes = 8u * 1024 * 1024;

    // The port from YFX_DEVTOOLS_PORT, read now (see PortFromEnvironment()).
    CDevToolsSource();
    // An explicit port; one outside 1..65535 gives no pages and no request.
    explicit CDevToolsSource(int port);

    // YFX_DEVTOOLS_PORT when it is a decimal number in 1..65535, else kDefaultPort.
    static int PortFromEnvironment();

    int Port() const { return m_nPort; }

    // The endpoint's entries of type "page", in its order. No answer within kTimeoutMs, a
    // status other than 200, an oversized or unreadable answer: no pages. Blocks up to
    // kTimeoutMs; bypasses any proxy; never throws.
    std::vector<BrowserPage> Pages() override;

    // The entries of type "page" of a /json/list answer: an array of objects with string
    // "type", "url" and "title" (a missing or non-string title reads ""; an entry without a
    // string url is left out). Anything else gives no pages. Never throws.
    static std::vector<BrowserPage> PagesFromPageList(std::string_view json);

private:
    int m_nPort;
};

} // namespace yfx
