#pragma once
// How a pane asks for a results window without knowing the main frame: the main frame
// registers itself as the opener; without one (no main window) nothing is opened.
#include "market/SearchUrl.h"

#include <QString>
#include <string>

class QWidget;

class IResultsOpener {
public:
    virtual ~IResultsOpener() = default;
    // Opens a new results window for a list-search address (GBK bytes) with the title (the
    // order's suffix is added by the opener) and order (0 by sales, else by price). Returns
    // the new window, or null when nothing could be opened.
    virtual QWidget* OpenResults(const std::string& address, const QString& title, int order) = 0;
    // The same for a search: `address` is BuildSearchUrl(query), and the window keeps `query`
    // too, so that it can search through the open platform when the configuration says so.
    virtual QWidget* OpenSearchResults(const SearchQuery& query, const std::string& address, const QString& title,
                                       int order) = 0;
};

// The application's main window as an opener, or null. GUI thread only.
IResultsOpener* MainResultsOpener();
void SetMainResultsOpener(IResultsOpener* opener);
