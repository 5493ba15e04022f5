#pragma once
// A tooltip that shows a text exactly as it is: texts from the servers (announcements, category
// names in window titles) may hold '<' or '&', which a tooltip would otherwise read as markup.
#include <QString>

namespace yfx {

inline QString PlainToolTip(const QString& text)
{
    if (text.isEmpty())
        return text;
    return QStringLiteral("<p style='white-space:pre-wrap'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace yfx
