#pragma once
// A main window stand-in for pane tests: records every results window asked for.
#include "panes/ResultsOpener.h"

#include <string>
#include <vector>

struct Opened {
    std::string address;
    QString title;
    int order;
};

class RecordingOpener : public IResultsOpener {
public:
    QWidget* OpenResults(const std::string& address, const QString& title, int order) override
    {
        calls.push_back({address, title, order});
        return nullptr;
    }
    std::vector<Opened> calls;
};
