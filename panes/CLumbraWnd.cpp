#include "panes/CLumbraWnd.h"

#include "market/SearchUrl.h"
#include "panes/DialogBuilder.h"
#include "panes/KeywordHistory.h"
#include "panes/ResultsOpener.h"
#include "panes/finder/BrowserPages.h"
#include "panes/finder/ItemPageRules.h"
#include "res/GbkText.h"
#include "results/QueuedCall.h"

#include <QApplication>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringListModel>

CLumbraWnd::CLumbraWnd(QWidget* parent)
    : QWidget(parent)
{
    const yfx::res::DialogTemplate* tpl = yfx::res::Dialog(kTemplateId);
    if (tpl) {
        const yfx::BuiltDialog built = yfx::BuildDialogFromTemplate(this, *tpl);
        auto get = [&](int id) { auto it = built.byId.find(id); return it == built.byId.end() ? nullptr : it->second; };
        m_editKeyword = qobject_cast<QLineEdit*>(get(1000));
        m_editExclude = qobject_cast<QLineEdit*>(get(1002));
        m_editLocation = qobject_cast<QLineEdit*>(get(1008));
        m_editPriceLow = qobject_cast<QLineEdit*>(get(1004));
        m_editPriceHigh = qobject_cast<QLineEdit*>(get(1006));
        m_btnSearch = qobject_cast<QPushButton*>(get(1010));
        m_btnSearchMore = qobject_cast<QPushButton*>(get(1013));
        m_btnClear = qobject_cast<QPushButton*>(get(1015));
        m_btnBySales = qobject_cast<QPushButton*>(get(1017));
        m_btnByPrice = qobject_cast<QPushButton*>(get(1018));
    }
    // a template that could not be had still gives a working pane
    for (QLineEdit** e : {&m_editKeyword, &m_editExclude, &m_editLocation, &m_editPriceLow, &m_editPriceHigh})
        if (!*e)
            *e = new QLineEdit(this);
    for (QPushButton** b : {&m_btnSearch, &m_btnSearchMore, &m_btnClear, &m_btnBySales, &m_btnByPrice})
        if (!*b)
            *b = new QPushButton(this);

    connect(m_btnSearch, &QPushButton::clicked, this, &CLumbraWnd::OnSearchBySales);
    connect(m_btnBySales, &QPushButton::clicked, this, &CLumbraWnd::OnSearchBySales);
    connect(m_btnByPrice, &QPushButton::clicked, this, &CLumbraWnd::OnSearchByPrice);
    connect(m_btnClear, &QPushButton::clicked, this, &CLumbraWnd::OnClearFields);
    connect(m_btnSearchMore, &QPushButton::clicked, this, &CLumbraWnd::OnSearchMore);

    // the keywords searched for before, newest first, matched anywhere in them
    m_keywords = new QStringListModel(this);
    m_completer = new QCompleter(m_keywords, this);
    m_completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_completer->setFilterMode(Qt::MatchContains);
    m_completer->setCompletionMode(QCompleter::PopupCompletion);
    m_editKeyword->setCompleter(m_completer);
    // Enter while the completer's list is open reaches the field itself (the list hands it on
    // after filling in the chosen keyword), not the pane's filter: it searches all the same.
    connect(m_editKeyword, &QLineEdit::returnPressed, this, [this] { SearchTyped(0); });

    m_sourceFactory = [] { return yfx::DefaultBrowserPageSources(); };
    // every key and button press meant for the pane or one of its controls passes here first
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

CLumbraWnd::~CLumbraWnd()
{
    CloseCandidateMenu();
}

void CLumbraWnd::SetPageSourceFactory(SourceFactory factory)
{
    m_sourceFactory = std::move(factory);
}

void CLumbraWnd::RunSearch(int order)
{
    m_btnSearch->setEnabled(false);
    SearchQuery query;
    query.cat = "0";
    query.keyword = yfx::GbkFromQString(m_editKeyword->text());
    query.exclude = yfx::GbkFromQString(m_editExclude->text());
    query.priceLow = yfx::GbkFromQString(m_editPriceLow->text());
    query.priceHigh = yfx::GbkFromQString(m_editPriceHigh->text());
    query.location = yfx::GbkFromQString(m_editLocation->text());
    const std::string address = BuildSearchUrl(query);
    if (IResultsOpener* opener = MainResultsOpener())
        opener->OpenSearchResults(query, address, QStringLiteral("自助搜索"), order);
    m_btnSearch->setEnabled(true);
}

void CLumbraWnd::SearchTyped(int order)
{
    const QStringList before = m_keywords->stringList();
    const QStringList after = yfx::RememberKeyword(before, m_editKeyword->text());
    if (after != before) {
        m_keywords->setStringList(after);
        emit keywordHistoryChanged(after);
    }
    RunSearch(order);
}

void CLumbraWnd::OnSearchBySales()
{
    SearchTyped(0);
}

void CLumbraWnd::OnSearchByPrice()
{
    SearchTyped(1);
}

QStringList CLumbraWnd::KeywordHistory() const
{
    return m_keywords->stringList();
}

void CLumbraWnd::SetKeywordHistory(const QStringList& keywords)
{
    m_keywords->setStringList(yfx::CleanKeywordHistory(keywords));
}

void CLumbraWnd::ClearKeywordHistory()
{
    if (m_keywords->stringList().isEmpty())
        return;
    m_keywords->setStringList({});
    emit keywordHistoryChanged({});
}

QMenu* CLumbraWnd::CreateKeywordMenu()
{
    QMenu* menu = m_editKeyword->createStandardContextMenu();
    menu->addSeparator();
    QAction* clear = menu->addAction(QStringLiteral("清除搜索记录"));
    clear->setObjectName(QStringLiteral("clearKeywordHistory"));
    clear->setEnabled(!m_keywords->stringList().isEmpty());
    connect(clear, &QAction::triggered, this, &CLumbraWnd::ClearKeywordHistory);
    return menu;
}

void CLumbraWnd::OnClearFields()
{
    m_editKeyword->setText(QString());
    m_editExclude->setText(QString());
    m_editLocation->setText(QString());
    m_editPriceLow->setText(QString());
    m_editPriceHigh->setText(QString());
}

void CLumbraWnd::OnSearchMore()
{
    if (m_bFinderBusy)
        return; // one run at a time
    m_candidates.clear();
    CloseCandidateMenu();
    // The sources are made here, read on a pool thread and go with the run: a pane closed
    // meanwhile drops the titles.
    auto sources = std::make_shared<std::vector<std::unique_ptr<yfx::CBrowserPageSource>>>();
    if (m_sourceFactory)
        *sources = m_sourceFactory();
    SetFinderBusy(true);
    yfx::RunInPoolThenCall(
        this,
        [sources] {
            std::vector<yfx::CBrowserPageSource*> raw;
            for (auto& s : *sources)
                raw.push_back(s.get());
            std::vector<std::string> titles = yfx::FindItemTitles(yfx::CollectBrowserPages(raw));
            sources->clear(); // read on this thread, gone on it
            return titles;
        },
        [this](std::vector<std::string> titles) { OnItemTitles(std::move(titles)); });
}

void CLumbraWnd::SetFinderBusy(bool busy)
{
    m_bFinderBusy = busy;
    m_btnSearchMore->setEnabled(!busy);
    if (busy)
        m_btnSearchMore->setCursor(Qt::BusyCursor);
    else
        m_btnSearchMore->unsetCursor();
}

void CLumbraWnd::OnItemTitles(std::vector<std::string> titles)
{
    SetFinderBusy(false);
    m_candidates = std::move(titles);
    ShowCandidates();
    emit finderFinished(static_cast<int>(m_candidates.size()));
}

void CLumbraWnd::ShowCandidates()
{
    if (m_candidates.empty())
        return;
    if (m_candidates.size() == 1) {
        m_editKeyword->setText(yfx::QStringFromGbk(m_candidates.front()));
        RunSearch(0);
        return;
    }
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const int count = yfx::CandidateMenuCount(m_candidates.size());
    for (int i = 0; i < count; ++i) {
        // an '&' in a title is text, not a mnemonic
        QString text = yfx::QStringFromGbk(m_candidates[static_cast<size_t>(i)]);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = menu->addAction(text);
        const int id = yfx::kFirstCandidateId + i;
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { OnCandidate(id); });
    }
    m_candidateMenu = menu;
    // The menu grabs keyboard and mouse while it is open: what it receives for the pane is
    // handled as the pane's own input (see eventFilter).
    menu->installEventFilter(this);
    menu->popup(m_btnSearchMore->mapToGlobal(QPoint(0, m_btnSearchMore->height())));
}

void CLumbraWnd::OnCandidate(int id)
{
    const int index = yfx::CandidateIndex(id, m_candidates.size());
    if (index < 0)
        return;
    m_editKeyword->setText(yfx::QStringFromGbk(m_candidates[static_cast<size_t>(index)]));
    RunSearch(0);
}

QMenu* CLumbraWnd::CandidateMenu() const
{
    return qobject_cast<QMenu*>(m_candidateMenu.data());
}

void CLumbraWnd::CloseCandidateMenu()
{
    if (QMenu* menu = CandidateMenu())
        menu->close();
}

bool CLumbraWnd::FilterCandidateMenuEvent(QEvent* event)
{


    switch (event->type()) {
    case QEvent::KeyPress: {
        // A key closes the menu and goes on to the pane's focused control (Enter then searches),
        // as if the menu had never taken the keyboard.
        QWidget* focus = QApplication::focusWidget();
        if (!focus || (focus != this && !isAncestorOf(focus)))
            return false; // the keyboard was not the pane's: the menu's own handling
        CloseCandidateMenu();
        std::unique_ptr<QEvent> copy(event->clone());
        QApplication::sendEvent(focus, copy.get());
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::MiddleButton)
            return false;
        const QPoint global = mouse->globalPosition().toPoint();
        QMenu* menu = CandidateMenu();
        if (!menu || menu->rect().contains(menu->mapFromGlobal(global)))
            return false; // a press on the menu chooses an entry
        QWidget* target = QApplication::widgetAt(global);
        if (!target || (target != this && !isAncestorOf(target)))
            return false; // outside the pane: the menu closes as menus do
        // Inside the pane the menu closes and the press reaches the control under the pointer
        // (an edit takes the focus and places its cursor), exactly once.
        menu->setAttribute(Qt::WA_NoMouseReplay);
        CloseCandidateMenu();
        QMouseEvent press(QEvent::MouseButtonPress, target->mapFromGlobal(mouse->globalPosition()),
                          mouse->globalPosition(), mouse->button(), mouse->buttons(), mouse->modifiers());
        // A press handed on is no window-system event, so Qt gives no focus for it: the first
        // control from the target up that takes focus by click takes it, as a real click does.
        for (QWidget* w = target; w; w = w->parentWidget()) {
            if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
                w->setFocus(Qt::MouseFocusReason);
                break;
            }
            if (w == this)
                break;
        }
        QApplication::sendEvent(target, &press);
        return true;
    }
    default:
        return false;
    }
}

bool CLumbraWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_candidateMenu.isNull() && watched == m_candidateMenu.data())
        return FilterCandidateMenuEvent(event) || QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        CloseCandidateMenu();
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SearchTyped(0);
            return true;
        }
        if (key == Qt::Key_Escape)
            return true; // the pane never closes on Escape
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::LeftButton || button == Qt::MiddleButton)
            CloseCandidateMenu();
        break;
    }
    case QEvent::ContextMenu:
        if (watched == m_editKeyword) {
            QMenu* menu = CreateKeywordMenu();
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
