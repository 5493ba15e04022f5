#include "results/CViewAccessible.h"

#include "results/CCouponLabel.h"
#include "results/CItemAccessible.h"
#include "results/CLumbra2View.h"
#include "results/CTBItemWnd.h"

namespace {

// The coupon tags over a tile's picture read as their text.
class CTagAccessible : public QAccessibleWidget {
public:
    explicit CTagAccessible(CCouponLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<CCouponLabel*>(object())->Text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* ResultsFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CLumbra2View"))
        if (auto* view = qobject_cast<CLumbra2View*>(object))
            return new CViewAccessible(view);
    if (className == QLatin1String("CCouponLabel"))
        if (auto* label = qobject_cast<CCouponLabel*>(object))
            return new CTagAccessible(label);
    return nullptr;
}

} // namespace

CViewAccessible::CViewAccessible(CLumbra2View* view) : QAccessibleWidget(view, QAccessible::List) {}

CViewAccessible::~CViewAccessible()
{
    for (const QAccessible::Id id : m_items)
        if (id != 0)
            QAccessible::deleteAccessibleInterface(id);
}

CLumbra2View* CViewAccessible::View() const
{
    return static_cast<CLumbra2View*>(object());
}

QAccessibleInterface* CViewAccessible::Item(std::size_t item) const
{
    if (item >= View()->Items().Count())
        return nullptr;
    if (m_items.size() <= item)
        m_items.resize(item + 1, 0);
    if (m_items[item] == 0)
        m_items[item] = QAccessible::registerAccessibleInterface(new CItemAccessible(View(), item));
    return QAccessible::accessibleInterface(m_items[item]);
}

int CViewAccessible::childCount() const
{
    return View()->ItemCount();
}

QAccessibleInterface* CViewAccessible::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    return Item(View()->Items().ItemOfRow(static_cast<std::size_t>(index)));
}

int CViewAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    // only this view's item interfaces are its children
    for (const QAccessible::Id id : m_items)
        if (id != 0 && QAccessible::accessibleInterface(id) == child)
            return static_cast<const CItemAccessible*>(child)->Row();
    return -1;
}

QAccessibleInterface* CViewAccessible::focusChild() const
{
    const int row = View()->FocusRow();
    if (row < 0 || !View()->hasFocus())
        return nullptr;
    return child(row);
}

QAccessibleInterface* CViewAccessible::childAt(int x, int y) const
{
    CLumbra2View* view = View();
    const QPoint at = view->Canvas()->mapFromGlobal(QPoint(x, y));
    for (CTBItemWnd* tile : view->Tiles())
        if (tile->geometry().contains(at))
            return child(view->RowOfTile(tile));
    return nullptr;
}

QString CViewAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name) {
        const QString name = QAccessibleWidget::text(t);
        return name.isEmpty() ? QStringLiteral("搜索结果") : name;
    }
    return QAccessibleWidget::text(t);
}

void InstallResultsAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(ResultsFactory);
}
