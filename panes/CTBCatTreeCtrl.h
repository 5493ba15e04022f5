#pragma once
// The category tree: the marketplace's categories in three levels under the root "所有市场",
// from the category document asked for when the tree is created (the nodes appear when it
// arrives; a document kept from an earlier run may show them before). "查询" in the right-click menu
// opens the hot-sales ranking of the selected category: "热卖排行 - " + its name, by sales; so
// does Enter on the current node.
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

    // Builds the tree: the root node, expanded, and (with `fetch`) the request for the document
    // at `documentUrl` (empty: the configuration server's "/set/tbcat.jpg"; without `fetch`,
    // Refresh asks later). Returns at once.
    explicit CTBCatTreeCtrl(QWidget* parent = nullptr, const std::string& documentUrl = {}, bool fetch = true);

    // Inserts the nodes of a category document under `parent`. Returns 0.
    virtual int ParseCategories(QTreeWidgetItem* parent, const std::string& text);
    // True until the category document has arrived or could not be had.
    bool DocumentPending() const { return m_fetch.Pending(); }
    // Puts the nodes of `text` in place of the root's children, keeping the nodes the user
    // expanded and selected (by their names from the root) where they are still in the tree.
    // A text that gives no node changes nothing: false. The text the tree shows already is not
    // built again (true).
    bool ApplyDocument(const std::string& text);
    // Asks for the category document again (at `url`, empty: the configuration server's);
    // what arrives is applied as ApplyDocument does.
    void Refresh(const std::string& url = {});
    // The last fetched document that gave nodes ("" before one came).
    const std::string& LastDocument() const { return m_strLastDocument; }

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
    void keyPressEvent(QKeyEvent* event) override;

private:
    static void Attach(QTreeWidgetItem* item, const CatNodeData& data);
    void Fetch();

    std::string m_documentUrl;
    std::string m_strLastDocument;
    std::string m_strShownDocument; // the text the nodes were built from
    QTreeWidgetItem* m_root = nullptr;
    yfx::CAsyncFetch m_fetch;
};
