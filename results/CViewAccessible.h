#pragma once
// A results view as assistive technology sees it: a list whose children are all its items
// (CItemAccessible), in the order shown, also those no tile shows now; the focused child is
// the view's focused item. Item interfaces are made when first asked for, registered with
// QAccessible and removed with the view's interface.
//
// InstallResultsAccessibility registers the factory of the results views and of the labels of
// this layer (coupon tags) with QAccessible::installFactory; the application calls it once,
// before its first window.
#include <QAccessibleWidget>

#include <cstddef>
#include <vector>

class CLumbra2View;

class CViewAccessible : public QAccessibleWidget {
public:
    explicit CViewAccessible(CLumbra2View* view);
    ~CViewAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* focusChild() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QString text(QAccessible::Text t) const override;

private:
    CLumbra2View* View() const;
    // The interface of the item with sales index `item`, made on first need.
    QAccessibleInterface* Item(std::size_t item) const;

    mutable std::vector<QAccessible::Id> m_items; // by sales index; 0: not made yet
};

void InstallResultsAccessibility();
