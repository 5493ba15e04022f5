#include "app/CLumbra2Doc.h"

CLumbra2Doc::CLumbra2Doc(QObject* parent)
    : QObject(parent)
{
}

void CLumbra2Doc::SetTitle(const QString& title)
{
    if (title == m_strTitle)
        return;
    m_strTitle = title;
    emit titleChanged(title);
}
