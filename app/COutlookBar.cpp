#include "app/COutlookBar.h"

#include "market/SearchUrl.h"
#include "market/Texts.h"
#include "panes/CHomePageDlg.h"
#include "panes/ResultsOpener.h"
#include "res/Resources.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QToolBox>
#include <QVBoxLayout>

COutlookBar::COutlookBar(QWidget* parent)
    : QDockWidget(yfx::res::String(yfx::res::IDS_SHORTCUTS), parent)
    , m_pages(new QToolBox(this))
    , m_strip(yfx::res::ImageStrip(189, 24))
{
    setObjectName(QStringLiteral("185"));
    // the bar keeps its width and stays where it is: no close, no floating of the whole bar
    setFeatures(QDockWidget::NoDockWidgetFeatures);
    setAllowedAreas(Qt::LeftDockWidgetArea);
    setFixedWidth(kWidth);
    m_pages->setObjectName(QStringLiteral("pages"));
    QFont bold = m_pages->font();
    bold.setBold(true);
    m_pages->setFont(bold); // page buttons in the bold interface font; pages reset their own
    setWidget(m_pages);
    connect(m_pages, &QToolBox::currentChanged, this, &COutlookBar::OnActivateTab);
}

QString COutlookBar::GetPaneName() const
{
    return yfx::res::String(yfx::res::IDS_OUTLOOK_BAR);
}

void COutlookBar::AddControl(QWidget* page, const QString& caption, int image)
{
    QIcon icon;
    if (image >= 0 && static_cast<size_t>(image) < m_strip.size())
        icon = QIcon(m_strip[static_cast<size_t>(image)]);
    QFont normal = page->font();
    normal.setBold(false);
    page->setFont(normal);
    m_pageWindows.append(page);
    m_captions.append(caption);
    m_icons.append(icon);
    const bool blocked = m_pages->blockSignals(true); // adding a page is not activating it
    m_pages->addItem(page, icon, caption);
    m_pages->blockSignals(blocked);
}

int COutlookBar::GetTabsNum() const
{
    return static_cast<int>(m_pageWindows.size());
}

QWidget* COutlookBar::GetTabWnd(int page) const
{
    if (page < 0 || page >= m_pageWindows.size())
        return nullptr;
    return m_pageWindows[page];
}

void COutlookBar::SetActivePage(int page)
{
    QWidget* w = GetTabWnd(page);
    const int index = w ? m_pages->indexOf(w) : -1;
    if (index >= 0)
        m_pages->setCurrentIndex(index);
}

void COutlookBar::OnActivateTab(int index)
{
    // the toolbox index of an attached page -> its page number
    QWidget* shown = m_pages->widget(index);
    const int page = shown ? static_cast<int>(m_pageWindows.indexOf(shown)) : -1;
    if (page < 0 || page >= GetTabsNum())
        return;
    if (!qobject_cast<CHomePageDlg*>(GetTabWnd(page)))
        return;
    SearchQuery query;
    query.cat = "0";
    query.nick = yfx::text::ShopNick();
    const std::string address = BuildSearchUrl(query);
    if (IResultsOpener* opener = MainResultsOpener())
        opener->OpenSearchResults(query, address, yfx::res::String(yfx::res::IDS_TODAYS_PICKS), 0);
}

QDockWidget* COutlookBar::DetachPage(int page)
{
    QWidget* w = GetTabWnd(page);
    const int index = w ? m_pages->indexOf(w) : -1;
    if (index < 0 || m_pages->count() < 2)
        return nullptr; // the bar always keeps one page
    const bool blocked = m_pages->blockSignals(true);
    m_pages->removeItem(index);
    m_pages->blockSignals(blocked);
    auto* floating = new QDockWidget(m_captions[page], parentWidget());
    floating->setObjectName(QStringLiteral("page-%1").arg(page));
    floating->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    floating->setWidget(w);
    w->show();
    floating->setFloating(true);
    floating->setAttribute(Qt::WA_DeleteOnClose, false);
    floating->move(mapToGlobal(QPoint(width() + 20, 40)));
    floating->show();
    return floating;
}

void COutlookBar::AttachPage(QDockWidget* floating)
{
    if (!floating)
        return;
    QWidget* w = floating->widget();
    const int page = static_cast<int>(m_pageWindows.indexOf(w));
    if (page < 0)
        return;
    floating->setWidget(nullptr);
    // back in page order among the attached pages
    int index = 0;
    for (int p = 0; p < page; ++p)
        if (m_pages->indexOf(m_pageWindows[p]) >= 0)
            ++index;
    const bool blocked = m_pages->blockSignals(true);
    m_pages->insertItem(index, w, m_icons[page], m_captions[page]);
    m_pages->blockSignals(blocked);
    floating->deleteLater();
}

void COutlookBar::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    const int current = static_cast<int>(m_pageWindows.indexOf(m_pages->currentWidget()));
    QAction* detach = menu.addAction(QStringLiteral("分离“%1”").arg(current >= 0 ? m_captions[current] : QString()));
    detach->setEnabled(current >= 0 && m_pages->count() > 1);
    QList<QDockWidget*> floating;
    for (QDockWidget* dock : parentWidget() ? parentWidget()->findChildren<QDockWidget*>() : QList<QDockWidget*>()) {
        if (dock != this && m_pageWindows.contains(dock->widget()))
            floating.append(dock);
    }
    QList<QAction*> attachActions;
    for (QDockWidget* dock : floating)
        attachActions.append(menu.addAction(QStringLiteral("放回“%1”").arg(dock->windowTitle())));
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == detach)
        DetachPage(current);
    else if (int i = static_cast<int>(attachActions.indexOf(chosen)); i >= 0)
        AttachPage(floating[i]);
}
