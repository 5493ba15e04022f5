#pragma once
// One item of a results view as assistive technology sees it: a list item whose name is the
// item's title and whose description says its price, postage, sales, the seller's credit level
// in words and, where there are some, its coupon, its bounded price and its price marker
// (ItemDescription, TileRules.h). Its actions are Press (open the item, as a click on its title)
// and ShowMenu (its tile's menu). It stands for the item, not for a tile: it answers from the
// view's items whether a tile shows the item now or not, and it keeps following its item
// through ordering commands. Made and owned by the view's CViewAccessible. GUI thread only.
#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QPointer>

#include <cstddef>

class CLumbra2View;

class CItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    // `item`: the item's index in the view's sales order.
    CItemAccessible(CLumbra2View* view, std::size_t item);

    CLumbra2View* View() const { return m_view; }
    // The row the item is shown at now, -1 when the item (or the view) is gone.
    int Row() const;

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QPointer<CLumbra2View> m_view;
    std::size_t m_item;
};
