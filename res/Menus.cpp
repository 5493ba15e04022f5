// Menus 128, 130, 310 and 338.
#include "res/Resources.h"

#include <QAction>
#include <QMenu>

namespace yfx::res {

namespace {

MenuItem Item(int id, const QString& text)
{
    MenuItem m;
    m.id = id;
    m.text = text;
    return m;
}

MenuItem Separator()
{
    return MenuItem{};
}

MenuItem Popup(const QString& text, std::vector<MenuItem> items)
{
    MenuItem m;
    m.text = text;
    m.items = std::move(items);
    return m;
}

std::vector<MenuItem> FileMenu()
{
    return {Popup(QStringLiteral("文件(&F)"),
                  {Item(57602, QStringLiteral("关闭(&C)")), Separator(), Item(57665, QStringLiteral("退出(&X)"))})};
}

void Fill(QMenu* menu, const std::vector<MenuItem>& items)
{
    for (const MenuItem& item : items) {
        if (!item.items.empty()) {
            Fill(menu->addMenu(item.text), item.items);
        } else if (item.id == 0 && item.text.isEmpty()) {
            menu->addSeparator();
        } else {
            QAction* action = menu->addAction(item.text);
            action->setData(item.id);
        }
    }
}

} // namespace

const std::vector<MenuItem>* Menu(int id)
{
    static const std::vector<MenuItem> mainFrame = FileMenu();
    static const std::vector<MenuItem> document = FileMenu();
    static const std::vector<MenuItem> category = {
        Popup(QStringLiteral("类目"), {Item(32771, QStringLiteral("查询"))})};
    static const std::vector<MenuItem> ordering = {
        Popup(QStringLiteral("排序"), {Item(32782, QStringLiteral("按销量排序")), Item(32783, QStringLiteral("按价格排序"))})};
    switch (id) {
    case 128:
        return &mainFrame;
    case 130:
        return &document;
    case 310:
        return &category;
    case 338:
        return &ordering;
    }
    return nullptr;
}

QMenu* CreatePopupMenu(int menuId, int index, QWidget* parent)
{
    const std::vector<MenuItem>* menu = Menu(menuId);
    if (!menu || index < 0 || index >= static_cast<int>(menu->size()))
        return nullptr;
    const MenuItem& popup = (*menu)[static_cast<size_t>(index)];
    auto* result = new QMenu(popup.text, parent);
    Fill(result, popup.items);
    return result;
}

} // namespace yfx::res
