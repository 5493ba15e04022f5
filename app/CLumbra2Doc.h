#pragma once
// The document of one results window: the list-search address it shows (and the query it
// was built from, for the open platform's source), the order of its items and its title. Lives as long as its window.
#include "results/IResultsDocument.h"

#include <QObject>

class CLumbra2Doc : public QObject, public IResultsDocument {
    Q_OBJECT
public:
    explicit CLumbra2Doc(QObject* parent = nullptr);

    const yfx::ResultsDocData& DocData() const override { return m_data; }
    QString GetTitle() const override { return m_strTitle; }
    void SetTitle(const QString& title) override;

    // Written by the main frame right after creation, before the view's first update.
    yfx::ResultsDocData m_data;

signals:
    void titleChanged(const QString& title);

private:
    QString m_strTitle;
};
