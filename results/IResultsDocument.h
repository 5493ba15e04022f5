#pragma once
// The document a results view shows: the list-search address (and the query it was built
// from, when a search made it), the order to show first and the window title. The application's document class implements it; tests use a plain one.
#include "market/AppState.h"

#include <QString>

class IResultsDocument {
public:
    virtual ~IResultsDocument() = default;
    // m_strAddress (GBK bytes, empty: nothing to show), m_nOrder (0 by sales, else price) and
    // m_query (none: the view can only fetch the address).
    virtual const yfx::ResultsDocData& DocData() const = 0;
    virtual QString GetTitle() const = 0;
    // Sets the document title and the caption of the window that shows it.
    virtual void SetTitle(const QString& title) = 0;
};
