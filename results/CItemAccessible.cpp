#include "results/CItemAccessible.h"

#include "res/GbkText.h"
#include "results/CLumbra2View.h"
#include "results/TileRules.h"

#include <QScrollBar>

CItemAccessible::CItemAccessible(CLumbra2View* view, std::size_t item) : m_view(view), m_item(item) {}

int CItemAccessible::Row() const
{
    if (!m_view || m_item >= m_view->Items().Count())
        return -1;
    return static_cast<int>(m_view->Items().RowOfItem(m_item));
}

bool CItemAccessible::isValid() const
{
    return Row() >= 0;
}

QWindow* CItemAccessible::window() const
{
    return m_view ? m_view->window()->windowHandle() : nullptr;
}

QAccessibleInterface* CItemAccessible::parent() const
{
    return m_view ? QAccessible::queryAccessibleInterface(m_view.data()) : nullptr;
}

QString CItemAccessible::text(QAccessible::Text t) const
{
    const int row = Row();
    if (row < 0)
        return {};
    const CTBRecord& record = m_view->ItemAt(row);
    switch (t) {
    case QAccessible::Name:
        return yfx::QStringFromGbk(record.tip());
    case QAccessible::Description:
        return QString::fromStdString(yfx::ItemDescription(record, m_view->MarkerText(row)));
    default:
        return {};
    }
}

QRect CItemAccessible::rect() const
{
    const int row = Row();
    if (row < 0)
        return {};
    const QRect cell = m_view->RowRect(row);
    if (cell.isEmpty())
        return {};
    return QRect(m_view->Canvas()->mapToGlobal(cell.topLeft()), cell.size());
}

QAccessible::State CItemAccessible::state() const
{
    QAccessible::State s;
    const int row = Row();
    if (row < 0) {
        s.invalid = true;
        return s;
    }
    s.focusable = true;
    s.selectable = true;
    const bool focused = m_view->FocusRow() == row;
    s.selected = focused;
    s.focused = focused && m_view->hasFocus();
    // out of sight: scrolled away from the viewport
    const QRect cell = m_view->RowRect(row);
    const QRect seen(QPoint(m_view->horizontalScrollBar()->value(), m_view->verticalScrollBar()->value()),
                     m_view->viewport()->size());
    if (!cell.intersects(seen)) {
        s.offscreen = true;
        s.invisible = true;
    }
    return s;
}

void* CItemAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ActionInterface)
        return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QStringList CItemAccessible::actionNames() const
{
    return {pressAction(), showMenuAction()};
}

void CItemAccessible::doAction(const QString& actionName)
{
    const int row = Row();
    if (row < 0)
        return;
    if (actionName == pressAction())
        m_view->OpenRow(row);
    else if (actionName == showMenuAction())
        m_view->ShowRowMenu(row);
}

QStringList CItemAccessible::keyBindingsForAction(const QString& actionName) const
{
    if (actionName == pressAction())
        return {QStringLiteral("Return")};
    if (actionName == showMenuAction())
        return {QStringLiteral("Shift+F10")};
    return {};
}
