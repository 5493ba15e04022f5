#pragma once
// The navigation bar at the left of the main frame: a fixed-width stack of three pages (the
// search pane, the category tree, the home page), one visible at a time, each behind a button
// with its caption and picture. Whenever the home page becomes the active page, today's picks
// of the program's own seller open in a new results window.
#include <QDockWidget>
#include <QList>
#include <QPixmap>
#include <vector>

class QToolBox;

class COutlookBar : public QDockWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 250;

    explicit COutlookBar(QWidget* parent = nullptr);

    // Page `index` with its caption and the picture of strip 189 at `image`; detachable.
    void AddControl(QWidget* page, const QString& caption, int image);

    bool CanBeResized() const { return false; }
    bool AllowShowOnPaneMenu() const { return false; }
    QString GetPaneName() const;

    QToolBox* Pages() const { return m_pages; }
    int GetTabsNum() const;
    // The page window of a page number, or null; a detached page is still found.
    QWidget* GetTabWnd(int page) const;
    void SetActivePage(int page);

    // Moves a page into a floating pane of its own (movable, no close button), or back.
    QDockWidget* DetachPage(int page);
    void AttachPage(QDockWidget* floating);

public slots:
    // Called whenever the active page changes: the home page opens today's picks.
    virtual void OnActivateTab(int page);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QToolBox* m_pages;
    std::vector<QPixmap> m_strip; // the page pictures (strip 189, 24 pixels each)
    QList<QWidget*> m_pageWindows; // by page number, whether attached or floating
    QList<QString> m_captions;
    QList<QIcon> m_icons;
};
