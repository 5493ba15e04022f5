#pragma once
// What assistive technology reads of the display controls, which paint themselves and would
// otherwise be nameless: a text static reads as its text (a mnemonic '&' left out, a literal
// text as it is), a picture link as a link named by the owner's description of its picture
// (setAccessibleName) with the action Press, an item picture and a badge as graphics named by
// their owner's description (setAccessibleName; an item picture without one is "商品图片").
//
// InstallControlsAccessibility registers the factory with QAccessible::installFactory; the
// application calls it once, before its first window.
#include <QAccessibleWidget>

class CControlAccessible : public QAccessibleWidget {
public:
    CControlAccessible(QWidget* control, QAccessible::Role role);

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
};

void InstallControlsAccessibility();
