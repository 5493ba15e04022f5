#include "panes/ResultsOpener.h"

namespace {
IResultsOpener* g_opener = nullptr;
}

IResultsOpener* MainResultsOpener()
{
    return g_opener;
}

void SetMainResultsOpener(IResultsOpener* opener)
{
    g_opener = opener;
}
