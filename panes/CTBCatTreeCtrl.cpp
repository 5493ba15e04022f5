#include "panes/CTBCatTreeCtrl.h"

#include "market/Configuration.h"
#include "market/SearchUrl.h"
#include "panes/ResultsOpener.h"
#include "res/GbkText.h"
#include "res/Resources.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>

namespace {

constexpr int kDataRole = Qt::UserRole + 1;

QByteArray Bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Std(const QVariant& v)
{
    return v.toByteArray().toStdString();
}

void InsertChildren(CTBCatTreeCtrl* tree, QTreeWidgetItem* parent, const std::vector<CategoryNode>& nodes,
                    void (*attach)(QTreeWidgetItem*, const CatNodeData&))
{
    for (const CategoryNode& node : nodes) {
        auto* item = new QTreeWidgetItem(parent, QStringList(yfx::QStringFromGbk(node.data.name)));
        attach(item, node.data);
        InsertChildren(tree, item, node.children, attach);
    }
}

} // namespace

CTBCatTreeCtrl::CTBCatTreeCtrl(QWidget* parent, const std::string& documentUrl, bool fetch)
    : QTreeWidget(parent)
    , m_documentUrl(documentUrl.empty() ? CategoryDocumentUrl() : documentUrl)
{
    setObjectName(QString::number(kControlId));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setContextMenuPolicy(Qt::DefaultContextMenu);

    m_root = new QTreeWidgetItem(this, QStringList(yfx::QStringFromGbk(RootCategory().name)));
    Attach(m_root, RootCategory());
    if (fetch)
        Fetch();
    m_root->setExpanded(true);
    setCurrentItem(m_root);
}

void CTBCatTreeCtrl::Fetch()
{
    yfx::net::Request request;
    request.url = m_documentUrl;
    request.maxBytes = kMaxCategoryDocumentBytes;
    m_fetch.Start(this, std::move(request), [this](const yfx::net::Result& r) {
        if (r.code >= 0 && ApplyDocument(r.text))
            m_strLastDocument = r.text;
        emit documentArrived(r.code >= 0);
    });
}

void CTBCatTreeCtrl::Refresh(const std::string& url)
{
    m_documentUrl = url.empty() ? CategoryDocumentUrl() : url;
    m_strLastDocument.clear();
    Fetch();
}

bool CTBCatTreeCtrl::ApplyDocument(const std::string& text)
{
    if (!m_strShownDocument.empty() && text == m_strShownDocument)
        return true; // the same nodes
    const std::vector<CategoryNode> nodes = ParseCategoryDocument(text);
    if (nodes.empty())
        return false;
    m_strShownDocument = text;
    // A node is known by the names on its way from the root.
    const auto key = [](QTreeWidgetItem* item) {
        QStringList names;
        for (; item; item = item->parent())
            names.prepend(item->text(0));
        return names.join(QChar(0x1F));
    };
    QSet<QString> expanded;
    std::vector<QTreeWidgetItem*> stack{m_root};
    while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        if (item != m_root && item->isExpanded())
            expanded.insert(key(item));
        for (int i = 0; i < item->childCount(); ++i)
            stack.push_back(item->child(i));
    }
    const QString selected = currentItem() ? key(currentItem()) : QString();

    setUpdatesEnabled(false);
    qDeleteAll(m_root->takeChildren());
    InsertChildren(this, m_root, nodes, &CTBCatTreeCtrl::Attach);
    QTreeWidgetItem* current = m_root;
    stack.assign(1, m_root);
    while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        const QString k = key(item);
        if (item != m_root && expanded.contains(k))
            item->setExpanded(true);
        if (k == selected)
            current = item;
        for (int i = 0; i < item->childCount(); ++i)
            stack.push_back(item->child(i));
    }
    setCurrentItem(current);
    setUpdatesEnabled(true);
    return true;
}

void CTBCatTreeCtrl::Attach(QTreeWidgetItem* item, const CatNodeData& data)
{
    // The record lives in the node itself: freed exactly once, with the node.
    item->setData(0, kDataRole, QVariantList{Bytes(data.name), Bytes(data.market), Bytes(data.cat)});
}

std::optional<CatNodeData> CTBCatTreeCtrl::NodeData(const QTreeWidgetItem* item)
{
    if (!item)
        return std::nullopt;
    const QVariantList list = item->data(0, kDataRole).toList();
    if (list.size() != 3)
        return std::nullopt;
    return CatNodeData{Std(list[0]), Std(list[1]), Std(list[2])};
}

int CTBCatTreeCtrl::ParseCategories(QTreeWidgetItem* parent, const std::string& text)
{
    if (parent)
        InsertChildren(this, parent, ParseCategoryDocument(text), &CTBCatTreeCtrl::Attach);
    return 0;
}

QMenu* CTBCatTreeCtrl::ShowContextMenu(const QPoint& viewportPos)
{
    QTreeWidgetItem* item = itemAt(viewportPos);
    if (!item)
        return nullptr;
    // the node's whole row, not only its text
    const QRect row = visualItemRect(item);
    if (!QRect(0, row.top(), viewport()->width(), row.height()).contains(viewportPos))
        return nullptr;
    QMenu* menu = yfx::res::CreatePopupMenu(kMenuId, 0, this);
    if (!menu)
        return nullptr;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == kQueryCommand) {
            action->setEnabled(NodeData(item).has_value());
            connect(action, &QAction::triggered, this, &CTBCatTreeCtrl::OnQueryCategory);
        }
    }
    menu->popup(viewport()->mapToGlobal(viewportPos));
    return menu;
}

void CTBCatTreeCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    // item views deliver the event in viewport coordinates
    ShowContextMenu(event->pos());
    event->accept();
}

void CTBCatTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CTBCatTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && currentItem()) {
        event->accept();
        OnQueryCategory();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CTBCatTreeCtrl::OnQueryCategory()
{
    const std::optional<CatNodeData> data = NodeData(currentItem());
    if (!data || (data->market.empty() && data->cat.empty()))
        return;
    SearchQuery query;
    query.path = data->market;
    query.cat = data->cat;
    const std::string address = BuildSearchUrl(query);
    if (IResultsOpener* opener = MainResultsOpener())
        opener->OpenSearchResults(query, address, QStringLiteral("热卖排行 - ") + yfx::QStringFromGbk(data->name), 0);
}
