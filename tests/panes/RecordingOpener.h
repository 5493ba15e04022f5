#pragma once
// A main window stand-in for pane tests: records every results window asked for.
#include "panes/ResultsOpener.h"

#include <optional>
#include <string>
#include <vector>

struct Opened {
    std::string address;
    QString title;
    int order;
    std::optional<SearchQuery> query; // set by OpenSearchResults
};

class RecordingOpener : public IResultsOpener {
public:
    QWidget* OpenResults(const std::string& address, const QString& title, int order) override
    {
        calls.push_back({address, title, order, std::nullopt});
        return nullptr;
    }
    QWidget* OpenSearchResults(const SearchQuery& query, const std::string& address, const QString& title,
                               int order) override
    {
        calls.push_back({address, title, order, query});
        return nullptr;
    }
    std::vector<Opened> calls;
};
