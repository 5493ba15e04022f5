#pragma once
// The category tree: the marketplace's categories in three levels under the root "所有市场",
// from the category document fetched when the tree is created. "查询" in the right-click menu
// opens the hot-sales ranking of the selected category: "热卖排行 - " + its name, by sales.
#include "panes/CategoryDocument.h"

#include <QTreeWidget>
#include <optional>

class CTBCatTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kControlId = 1200;
    static constexpr int kMenuId = 310;
    static constexpr int kQueryCommand = 32771;

    // Builds the tree: the root node, the document fetched from `documentUrl` (empty: the
    // configuration server's "/set/tbcat.jpg"), the root expanded. Blocks for the fetch.
    explicit CTBCatTreeCtrl(QWidget* parent = nullptr, const std::string& documentUrl = {});

    // Inserts the nodes of a category document under `parent`. Returns 0.
    virtual int ParseCategories(QTreeWidgetItem* parent, const std::string& text);
    // Fetches the category document into `text`. True when the fetch reported success.
    virtual bool FetchCategories(std::string& text);

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
};
