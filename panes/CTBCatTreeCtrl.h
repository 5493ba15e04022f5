#pragma once
// The category tree: the marketplace's categories in three levels under the root "所有市场",
// from the category document asked for when the tree is created (the nodes appear when it
// arrives). "查询" in the right-click menu
// opens the hot-sales ranking of the selected category: "热卖排行 - " + its name, by sales.
#include "panes/CategoryDocument.h"
#include "results/AsyncFetch.h"

#include <QTreeWidget>
#include <optional>

class CTBCatTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kControlId = 1200;
    static constexpr int kMenuId = 310;
    static constexpr int kQueryCommand = 32771;

    // Builds the tree: the root node, expanded, and the request for the document at
    // `documentUrl` (empty: the configuration server's "/set/tbcat.jpg"). Returns at once.
    explicit CTBCatTreeCtrl(QWidget* parent = nullptr, const std::string& documentUrl = {});

    // Inserts the nodes of a category document under `parent`. Returns 0.
    virtual int ParseCategories(QTreeWidgetItem* parent, const std::string& text);
    // True until the category document has arrived or could not be had.
    bool DocumentPending() const { return m_fetch.Pending(); }

signals:
    // The category document has been handled (`fetched`: it came; its nodes are in the tree).
    void documentArrived(bool fetched);

public:

    // The record a node carries (owned by the node), or nothing for a node without one.
    static std::optional<CatNodeData> NodeData(const QTreeWidgetItem* item);

    QTreeWidgetItem* RootItem() const { return m_root; }

    // The context menu for a point in viewport coordinates: only over a node's row. Returns the
    // menu shown (deleted when closed), or null.
    QMenu* ShowContextMenu(const QPoint& viewportPos);

public slots:
    // "查询": the ranking of the selected node (not the right-clicked one).
    void OnQueryCategory();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A right-button press does not move the selection: "查询" always works on the node the
    // user selected, whichever row the menu was opened over.
    void mousePressEvent(QMouseEvent* event) override;

private:
    static void Attach(QTreeWidgetItem* item, const CatNodeData& data);

    std::string m_documentUrl;
    QTreeWidgetItem* m_root = nullptr;
    yfx::CAsyncFetch m_fetch;
};
