#include "app/CMainFrame.h"

#include "app/CAnnouncementBar.h"
#include "app/CChildFrame.h"
#include "app/CLumbra2Doc.h"
#include "app/COutlookBar.h"
#include "app/KeyIndicators.h"
#include "app/PlainToolTip.h"
#include "panes/CHomePageDlg.h"
#include "panes/CLumbraWnd.h"
#include "panes/CTBCatTreeCtrl.h"
#include "res/GbkText.h"
#include "res/Resources.h"
#include "results/CLumbra2View.h"

#include <QApplication>
#include <QBitmap>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// White is the transparent colour of the announcement picture.
QPixmap WithoutWhite(const QPixmap& picture)
{
    if (picture.isNull())
        return picture;
    QPixmap out = picture;
    out.setMask(QBitmap::fromImage(picture.toImage().createMaskFromColor(qRgb(255, 255, 255), Qt::MaskInColor)));
    return out;
}

// The tab row's look: the application's style, with tabs that never shrink below a width that
// still shows the start of their title (the rest elided, the whole title in the tooltip).
class CTabRowStyle : public QProxyStyle {
public:
    explicit CTabRowStyle(QStyle* base) : QProxyStyle(base) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_TabBarTab)
            s.setWidth(std::max(s.width(), CMainFrame::kMinTabWidth));
        return s;
    }
};

} // namespace

CMainFrame::CMainFrame(QWidget* parent, int announcementPeriodMs)
    : QMainWindow(parent)
    , m_nAnnouncementPeriod(announcementPeriodMs)
{
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(yfx::res::Icon(128));
    // fixed size, no maximise button
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(kWidth, kHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kWidth / 2, kHeight / 2));
    }
    setDockOptions(QMainWindow::AnimatedDocks);

    // tabbed results area below the announcement bar
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    CreateCaptionBar();
    column->addWidget(m_wndCaptionBar);
    m_mdiArea = new QMdiArea(central);
    m_mdiArea->setViewMode(QMdiArea::TabbedView);
    m_mdiArea->setTabsClosable(true);
    m_mdiArea->setTabsMovable(true);
    m_mdiArea->setDocumentMode(true);
    m_mdiArea->setTabShape(QTabWidget::Rounded);
    m_mdiArea->setBackground(QColor(236, 239, 243));
    column->addWidget(m_mdiArea, 1);
    setCentralWidget(central);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this] {
        UpdateTitle();
        UpdateTabCloseButtons();
    });

    // the document menu at the right end of the tab row
    m_documentMenuButton = new QToolButton(m_mdiArea);
    m_documentMenuButton->setObjectName(QStringLiteral("documentMenu"));
    m_documentMenuButton->setArrowType(Qt::DownArrow);
    m_documentMenuButton->setAutoRaise(true);
    m_documentMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_documentMenuButton->setMenu(new QMenu(m_documentMenuButton));
    connect(m_documentMenuButton->menu(), &QMenu::aboutToShow, this, &CMainFrame::RebuildDocumentMenu);
    m_documentMenuButton->hide(); // until a results window opens
    m_mdiArea->installEventFilter(this);
    if (QTabBar* bar = TabBar()) {
        // the tab row keeps its elided titles readable; the document menu gets a place of its own
        m_tabStyle = new CTabRowStyle(QStyleFactory::create(QApplication::style()->name()));
        m_tabStyle->setParent(this);
        bar->setStyle(m_tabStyle);
        bar->setExpanding(false); // tabs as wide as their titles
        bar->setElideMode(Qt::ElideRight);
        bar->setUsesScrollButtons(true);
        bar->installEventFilter(this);
        connect(bar, &QTabBar::currentChanged, this, &CMainFrame::UpdateTabCloseButtons);
        connect(bar, &QTabBar::tabMoved, this, &CMainFrame::UpdateTabCloseButtons);
    }

    // the menu bar exists but is never shown
    m_wndMenuBar = new QMenuBar(this);
    if (const auto* menu = yfx::res::Menu(128)) {
        for (size_t i = 0; i < menu->size(); ++i) {
            if (QMenu* popup = yfx::res::CreatePopupMenu(128, static_cast<int>(i), m_wndMenuBar))
                m_wndMenuBar->addMenu(popup);
        }
    }
    setMenuBar(m_wndMenuBar);
    m_wndMenuBar->hide();
    // "关闭(&C)" closes the active results window, also from the keyboard: the menu bar is hidden,
    // so its shortcuts belong to the frame itself
    for (QAction* action : m_wndMenuBar->findChildren<QAction*>()) {
        if (action->data().toInt() != ID_FILE_CLOSE)
            continue;
        action->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)});
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, &CMainFrame::OnFileClose);
    }

    CreateStatusBar();
    CreateNavigationBar();

    SetMainResultsHost(this);
    SetMainResultsOpener(this);

    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(0); });
    connect(m_wndCategoryTree, &CTBCatTreeCtrl::documentArrived, this, &CMainFrame::CheckDocumentsReady);
    FetchConfiguration();
    UpdateTitle();
}

CMainFrame::~CMainFrame()
{
    m_timer.stop();
    if (QTabBar* bar = TabBar())
        bar->setStyle(nullptr); // the tab row's style goes with the frame
    // results windows (and their downloads) end before the panes and the configuration
    for (QMdiSubWindow* w : m_mdiArea->subWindowList())
        delete w;
    if (MainResultsHost() == this)
        SetMainResultsHost(nullptr);
    if (MainResultsOpener() == this)
        SetMainResultsOpener(nullptr);
}

void CMainFrame::CreateCaptionBar()
{
    m_wndCaptionBar = new CAnnouncementBar(this);
    m_wndCaptionBar->SetBitmap(WithoutWhite(yfx::res::Bitmap(335)));
    m_wndCaptionBar->hide(); // until the first announcement
}

void CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = new QStatusBar(this);
    m_wndStatusBar->setSizeGripEnabled(false); // the frame has a fixed size
    m_wndStatusBar->setContentsMargins(0, 0, 3, 0); // the last indicator's frame clear of the edge
    setStatusBar(m_wndStatusBar);
    // "就绪" is the message pane's idle text ("正在搜索…" while a results window waits for its
    // answer): it comes back whenever no other message shows (a menu's pointing clears the
    // message on leaving an entry)
    connect(m_wndStatusBar, &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            UpdateBusyMessage();
    });
    UpdateBusyMessage();
    const int ids[3] = {yfx::res::IDS_INDICATOR_CAPS, yfx::res::IDS_INDICATOR_NUM, yfx::res::IDS_INDICATOR_SCRL};
    for (int i = 0; i < 3; ++i) {
        m_indicators[i] = new QLabel(yfx::res::String(ids[i]), m_wndStatusBar);
        m_indicators[i]->setObjectName(yfx::res::String(ids[i]));
        m_indicators[i]->setAlignment(Qt::AlignCenter);
        m_indicators[i]->setMinimumWidth(m_indicators[i]->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        m_indicators[i]->setFrameShape(QFrame::StyledPanel);
        m_wndStatusBar->addPermanentWidget(m_indicators[i]);
    }
    // the framework's idle update of the indicators: a light poll of the lock keys
    connect(&m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateKeyIndicators);
    m_indicatorTimer.start(250);
    UpdateKeyIndicators();
}

void CMainFrame::UpdateKeyIndicators()
{
    const yfx::LockKeys keys = yfx::QueryLockKeys();
    const bool on[3] = {keys.caps, keys.num, keys.scroll};
    for (int i = 0; i < 3; ++i)
        m_indicators[i]->setEnabled(keys.known && on[i]);
}

bool CMainFrame::CreateNavigationBar()
{
    m_wndNavigationBar = new COutlookBar(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_wndNavigationBar);

    m_wndSearchPane = new CLumbraWnd(m_wndNavigationBar);
    m_wndNavigationBar->AddControl(m_wndSearchPane, yfx::res::String(yfx::res::IDS_SEARCH_PANE), 0);
    m_wndCategoryTree = new CTBCatTreeCtrl(m_wndNavigationBar); // fetches the category document
    m_wndNavigationBar->AddControl(m_wndCategoryTree, yfx::res::String(yfx::res::IDS_HOT_RANKING), 1);
    m_wndHomePage = new CHomePageDlg(m_wndNavigationBar);
    m_wndNavigationBar->AddControl(m_wndHomePage, yfx::res::String(yfx::res::IDS_TODAYS_PICKS), 2);
    m_wndNavigationBar->SetActivePage(0);
    m_wndSearchPane->m_editKeyword->setFocus(); // ready to type a keyword at once
    return true;
}

void CMainFrame::FetchConfiguration()
{
    yfx::net::Request request;
    request.url = ConfigDocumentUrl();
    request.maxBytes = kMaxConfigurationBytes;
    m_configFetch.Start(this, std::move(request), [this](const yfx::net::Result& r) {
        ApplyConfiguration(r.code, r.text);
        CheckDocumentsReady();
    });
}

bool CMainFrame::ApplyConfiguration(int fetchResult, const std::string& text)
{
    m_timer.stop();
    m_posNextAnnouncement = -1;
    m_config = Configuration{};
    const bool read = ReadConfigurationText(fetchResult, text, m_config);
    if (!m_config.announcements.empty()) {
        m_posNextAnnouncement = 0;
        m_timer.setInterval(m_nAnnouncementPeriod);
        m_timer.start();
    }
    return read;
}

bool CMainFrame::DocumentsPending() const
{
    return m_configFetch.Pending() || (m_wndCategoryTree && m_wndCategoryTree->DocumentPending());
}

void CMainFrame::CheckDocumentsReady()
{
    if (m_bDocumentsReady || DocumentsPending())
        return;
    m_bDocumentsReady = true;
    emit documentsReady();
}

void CMainFrame::UpdateBusyMessage()
{
    if (!m_loadingViews.isEmpty())
        m_wndStatusBar->showMessage(yfx::res::String(yfx::res::IDS_SEARCHING));
    else
        m_wndStatusBar->showMessage(yfx::res::String(yfx::res::IDS_STATUS_READY));
}

void CMainFrame::OnTimer(int id)
{
    if (id != 0 || m_posNextAnnouncement < 0 || !m_wndCaptionBar)
        return;
    const auto& list = m_config.announcements;
    if (static_cast<size_t>(m_posNextAnnouncement) >= list.size())
        return;
    m_wndCaptionBar->show();
    const std::string& text = list[static_cast<size_t>(m_posNextAnnouncement)];
    ++m_posNextAnnouncement;
    m_wndCaptionBar->SetText(yfx::QStringFromGbk(text));
    if (static_cast<size_t>(m_posNextAnnouncement) >= list.size())
        m_posNextAnnouncement = 0;
}

QWidget* CMainFrame::OpenResults(const std::string& address, const QString& title, int order)
{
    yfx::ResultsDocData data;
    data.m_strAddress = address;
    data.m_nOrder = order;
    return OpenResultsFor(std::move(data), title);
}

QWidget* CMainFrame::OpenSearchResults(const SearchQuery& query, const std::string& address, const QString& title,
                                       int order)
{
    yfx::ResultsDocData data;
    data.m_strAddress = address;
    data.m_nOrder = order;
    data.m_query = query;
    return OpenResultsFor(std::move(data), title);
}

CChildFrame* CMainFrame::OpenResultsFor(yfx::ResultsDocData data, const QString& title)
{
    const QString full = title + (data.m_nOrder != 0 ? QStringLiteral(" - 价格") : QStringLiteral(" - 销量"));
    auto* doc = new CLumbra2Doc;
    doc->m_data = std::move(data);
    doc->SetTitle(full);
    auto* child = new CChildFrame(doc);
    AddResultsWindow(child);
    child->View()->OnInitialUpdate(); // the view asks for its answer here
    UpdateTabCloseButtons();
    return child;
}

CChildFrame* CMainFrame::OpenEmptyResults(const QString& title)
{
    auto* doc = new CLumbra2Doc;
    doc->SetTitle(title);
    auto* child = new CChildFrame(doc);
    AddResultsWindow(child);
    child->View()->OnInitialUpdate();
    UpdateTabCloseButtons();
    return child;
}

void CMainFrame::AddResultsWindow(CChildFrame* child)
{
    m_mdiArea->addSubWindow(child);
    // The window's own system menu would claim the frame's close keys for itself: with several
    // windows open no one would get them. The frame's command closes the active window.
    if (QMenu* system = child->systemMenu()) {
        for (QAction* action : system->actions()) {
            for (const QKeySequence& key : action->shortcuts())
                if (key == QKeySequence(Qt::CTRL | Qt::Key_F4) || key == QKeySequence(Qt::CTRL | Qt::Key_W))
                    action->setShortcuts({});
        }
    }
    if (QTabBar* bar = TabBar()) {
        // the new tab is the one that knows no window yet: it remembers its window, wherever
        // it is dragged to
        for (int i = 0; i < bar->count(); ++i)
            if (!bar->tabData(i).isValid())
                bar->setTabData(i, QVariant::fromValue(static_cast<QObject*>(child)));
    }
    connect(child, &QWidget::windowTitleChanged, this, [this] {
        UpdateTabTexts();
        UpdateTitle();
    });
    connect(child, &QObject::destroyed, this, [this] { QTimer::singleShot(0, this, &CMainFrame::PlaceDocumentMenuButton); });
    // while the view waits for its answer the message pane says so
    QObject* view = child->View();
    connect(child->View(), &CLumbra2View::loadingChanged, this, [this, view](bool loading) {
        if (loading)
            m_loadingViews.insert(view);
        else
            m_loadingViews.remove(view);
        UpdateBusyMessage();
    });
    connect(view, &QObject::destroyed, this, [this, view] {
        if (m_loadingViews.remove(view)) // closed while its answer was on the way
            UpdateBusyMessage();
    });
    child->showNormal();
    m_mdiArea->setActiveSubWindow(child);
}

QTabBar* CMainFrame::TabBar() const
{
    return m_mdiArea ? m_mdiArea->findChild<QTabBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void CMainFrame::OnFileClose()
{
    if (QMdiSubWindow* w = m_mdiArea->activeSubWindow())
        w->close();
}

QList<CChildFrame*> CMainFrame::ResultsWindows() const
{
    QList<CChildFrame*> out;
    for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* child = qobject_cast<CChildFrame*>(w))
            out.append(child);
    return out;
}

void CMainFrame::UpdateTitle()
{
    const QString app = yfx::res::String(yfx::res::IDS_APP_TITLE);
    QMdiSubWindow* active = m_mdiArea ? m_mdiArea->activeSubWindow() : nullptr;
    setWindowTitle(active ? app + QStringLiteral(" - ") + active->windowTitle() : app);
}

void CMainFrame::UpdateTabCloseButtons()
{
    // only the active tab carries a close button
    QTabBar* bar = TabBar();
    if (!bar)
        return;
    for (int i = 0; i < bar->count(); ++i) {
        for (auto side : {QTabBar::LeftSide, QTabBar::RightSide}) {
            if (QWidget* button = bar->tabButton(i, side))
                button->setVisible(i == bar->currentIndex());
        }
    }
    UpdateTabTexts();
    PlaceDocumentMenuButton();
}

void CMainFrame::UpdateTabTexts()
{
    // A title is shown as it is (an '&' in a category name is no mnemonic), elided when the row
    // is full; the tooltip always holds the whole title.
    QTabBar* bar = TabBar();
    if (!bar)
        return;
    for (int i = 0; i < bar->count(); ++i) {
        auto* w = qobject_cast<QMdiSubWindow*>(bar->tabData(i).value<QObject*>());
        if (!w)
            continue;
        const QString title = w->windowTitle();
        QString shown = title;
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (bar->tabText(i) != shown)
            bar->setTabText(i, shown);
        bar->setTabToolTip(i, yfx::PlainToolTip(title));
        if (!bar->tabIcon(i).isNull())
            bar->setTabIcon(i, QIcon()); // tabs without icons: the room goes to the title
    }
}

void CMainFrame::PlaceDocumentMenuButton()
{
    // The button has its own place at the right of the tab row, which ends where it begins, so
    // it covers neither a tab's close button nor the row's scroll arrows. No window, no button.
    QTabBar* bar = TabBar();
    if (!bar || m_bPlacingDocumentMenu)
        return;
    if (m_mdiArea->subWindowList().isEmpty() || bar->isHidden()) {
        m_documentMenuButton->hide();
        return;
    }
    m_bPlacingDocumentMenu = true;
    const QRect row = bar->geometry();
    const int width = m_documentMenuButton->sizeHint().width();
    const int left = m_mdiArea->width() - width;
    if (row.x() + row.width() > left)
        bar->setGeometry(row.x(), row.y(), std::max(0, left - row.x()), row.height());
    m_documentMenuButton->setGeometry(left, row.y(), width, row.height());
    m_documentMenuButton->show();
    m_documentMenuButton->raise();
    m_bPlacingDocumentMenu = false;
}

void CMainFrame::RebuildDocumentMenu()
{
    QMenu* menu = m_documentMenuButton->menu();
    menu->clear();
    QMdiSubWindow* active = m_mdiArea->activeSubWindow();
    for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        QString text = w->windowTitle();
        QAction* a = menu->addAction(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
        a->setCheckable(true);
        a->setChecked(w == active);
        connect(a, &QAction::triggered, this, [this, w] { m_mdiArea->setActiveSubWindow(w); });
    }
    if (!menu->isEmpty())
        menu->addSeparator();
    QAction* windows = menu->addAction(yfx::res::String(yfx::res::IDS_WINDOWS_MANAGER));
    windows->setData(131);
    connect(windows, &QAction::triggered, this, &CMainFrame::ShowWindowsDialog);
}

void CMainFrame::ShowWindowsDialog()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("窗口"));
    auto* list = new QListWidget(&dialog);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto refill = [this, list] {
        list->clear();
        for (QMdiSubWindow* w : m_mdiArea->subWindowList(QMdiArea::CreationOrder)) {
            auto* item = new QListWidgetItem(w->windowTitle(), list);
            item->setData(Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(w)));
            if (w == m_mdiArea->activeSubWindow())
                list->setCurrentItem(item);
        }
    };
    refill();
    auto* activate = new QPushButton(QStringLiteral("激活(&A)"), &dialog);
    auto* close = new QPushButton(QStringLiteral("关闭窗口(&C)"), &dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    auto* side = new QVBoxLayout;
    side->addWidget(activate);
    side->addWidget(close);
    side->addStretch(1);
    side->addWidget(buttons);
    auto* layout = new QHBoxLayout(&dialog);
    layout->addWidget(list, 1);
    layout->addLayout(side);
    auto windowOf = [](QListWidgetItem* item) {
        return item ? qobject_cast<QMdiSubWindow*>(item->data(Qt::UserRole).value<QObject*>()) : nullptr;
    };
    connect(activate, &QPushButton::clicked, &dialog, [&] {
        if (QMdiSubWindow* w = windowOf(list->currentItem()))
            m_mdiArea->setActiveSubWindow(w);
        dialog.accept();
    });
    connect(list, &QListWidget::itemDoubleClicked, activate, &QPushButton::click);
    connect(close, &QPushButton::clicked, &dialog, [&] {
        for (QListWidgetItem* item : list->selectedItems())
            if (QMdiSubWindow* w = windowOf(item))
                w->close();
        refill();
    });
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.resize(420, 280);
    dialog.exec();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    const bool area = watched == m_mdiArea && event->type() == QEvent::Resize;
    const bool row = m_mdiArea && watched == TabBar() &&
                     (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
                      event->type() == QEvent::Show || event->type() == QEvent::Hide);
    if (area || row)
        PlaceDocumentMenuButton();
    return QMainWindow::eventFilter(watched, event);
}
