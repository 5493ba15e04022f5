#pragma once
// A place that knows which pages are open in a web browser on this desktop (a browser's
// session file, a browser's debugging endpoint, ...).
#include "panes/finder/BrowserPage.h"

#include <vector>

namespace yfx {

class CBrowserPageSource {
public:
    virtual ~CBrowserPageSource();

    // The pages open right now, in the source's own stable order. Everything a source reads
    // belongs to another program and is untrusted: a source that cannot be read, answers late
    // or answers nonsense gives an empty list (or the pages it could read), never throws and
    // never blocks for more than about a second.
    virtual std::vector<BrowserPage> Pages() = 0;
};

} // namespace yfx
