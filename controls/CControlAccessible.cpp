#include "controls/CControlAccessible.h"

#include "controls/CMyImageStatic.h"
#include "controls/CMyStatic.h"
#include "controls/CMyUrlStatic.h"
#include "controls/CPictureEx.h"

namespace {

// The text as shown: "&&" draws one '&', a single '&' marks the next character.
QString WithoutMnemonics(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

QAccessibleInterface* ControlsFactory(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("CMyStatic"))
        return new CControlAccessible(widget, QAccessible::StaticText);
    if (className == QLatin1String("CMyUrlStatic"))
        return new CControlAccessible(widget, QAccessible::Link);
    if (className == QLatin1String("CMyImageStatic") || className == QLatin1String("CPictureEx"))
        return new CControlAccessible(widget, QAccessible::Graphic);
    return nullptr;
}

} // namespace

CControlAccessible::CControlAccessible(QWidget* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

QString CControlAccessible::text(QAccessible::Text t) const
{
    if (t != QAccessible::Name)
        return QAccessibleWidget::text(t);
    const QString given = widget()->accessibleName();
    if (!given.isEmpty())
        return given;
    if (const auto* text = qobject_cast<const CMyStatic*>(object()))
        return text->IsLiteral() ? text->Text() : WithoutMnemonics(text->Text());
    if (const auto* link = qobject_cast<const CMyUrlStatic*>(object()))
        return link->m_strUrl;
    if (qobject_cast<const CMyImageStatic*>(object()))
        return QStringLiteral("商品图片");
    return {};
}

QStringList CControlAccessible::actionNames() const
{
    QStringList names = QAccessibleWidget::actionNames();
    if (qobject_cast<const CMyUrlStatic*>(object()))
        names.prepend(pressAction());
    return names;
}

void CControlAccessible::doAction(const QString& actionName)
{
    if (auto* link = qobject_cast<CMyUrlStatic*>(object()); link && actionName == pressAction()) {
        link->Activate();
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

void InstallControlsAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(ControlsFactory);
}
