#include "app/CMainFrame.h"

#include "app/CAnnouncementBar.h"
#include "app/CChildFrame.h"
#include "app/CSecretStore.h"
#include "app/CSettingsDialog.h"
#include "app/CLumbra2Doc.h"
#include "app/CAlertFallback.h"
#include "app/CDesktopNotifier.h"
#include "app/CWatchService.h"
#include "market/NetEngine.h"
#include "results/UrlOpener.h"
#include "app/CWatchSettingsPage.h"
#include "app/COutlookBar.h"
#include "app/KeyIndicators.h"
#include "app/PlainToolTip.h"
#include "panes/CHomePageDlg.h"
#include "panes/CWatchListPane.h"
#include "panes/CLumbraWnd.h"
#include "panes/CTBCatTreeCtrl.h"
#include "res/GbkText.h"
#include "market/Endpoints.h"
#include "res/Resources.h"
#include "results/CLumbra2View.h"
#include "results/CPriceMemory.h"
#include "results/QueuedCall.h"
#include "results/CPriceMemoryPage.h"
#include "results/PriceMemoryActions.h"

#include <QListView>
#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QThreadPool>
#include <QToolBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <sys/stat.h>

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

// Where the frame keeps what it remembers across runs (QSettings).
const QString kPositionKey = QStringLiteral("MainFrame/position");
const QString kPageKey = QStringLiteral("MainFrame/page");
const QString kKeywordsKey = QStringLiteral("SearchPane/keywords");

QString ProblemText(const std::string& path, const LocalConfigProblem& p)
{
    const QString file = QString::fromStdString(path);
    switch (p.kind) {
    case LocalConfigProblem::Kind::None:
        return {};
    case LocalConfigProblem::Kind::Unreadable:
        return QStringLiteral("已忽略配置文件 %1：无法读取").arg(file);
    case LocalConfigProblem::Kind::NotUtf8:
        return QStringLiteral("已忽略配置文件 %1：不是 UTF-8 文本").arg(file);
    case LocalConfigProblem::Kind::NotJson:
        return QStringLiteral("已忽略配置文件 %1：不是 JSON 对象").arg(file);
    case LocalConfigProblem::Kind::BadMembers: {
        QStringList names;
        for (const std::string& m : p.members)
            names << QString::fromStdString(m);
        return QStringLiteral("已忽略配置文件 %1 中类型不对的项：%2").arg(file, names.join(QStringLiteral("、")));
    }
    }
    return {};
}

// A kept document: its address on the first line, then the text as it came.
bool ReadCachedDocument(const std::string& folder, const char* name, const std::string& url, std::string& text)
{
    std::string bytes;
    bool missing = false;
    if (folder.empty() || !ReadSmallFile(folder + "/" + name, kMaxConfigurationBytes + 4096, bytes, missing))
        return false;
    const std::size_t eol = bytes.find('\n');
    if (eol == std::string::npos || bytes.compare(0, eol, url) != 0)
        return false; // another server's
    text = bytes.substr(eol + 1);
    return !text.empty();
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent, int announcementPeriodMs, bool demo)
    : QMainWindow(parent)
    , m_nAnnouncementPeriod(announcementPeriodMs)
    , m_bDemo(demo)
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
    m_documentMenuButton->setAccessibleName(QStringLiteral("窗口列表"));
    m_documentMenuButton->setAutoRaise(true);
    m_documentMenuButton->setPopupMode(QToolButton::InstantPopup);
    m_documentMenuButton->setMenu(new QMenu(m_documentMenuButton));
    connect(m_documentMenuButton->menu(), &QMenu::aboutToShow, this, &CMainFrame::RebuildDocumentMenu);
    m_documentMenuButton->hide(); // until a results window opens
    // the settings, at the right of the tab row where they are looked for (also with no tab)
    m_settingsButton = new QToolButton(m_mdiArea);
    m_settingsButton->setObjectName(QStringLiteral("settingsButton"));
    m_settingsButton->setText(QStringLiteral("首选项"));
    m_settingsButton->setToolTip(QStringLiteral("首选项：数据源、搜索记录（Ctrl+,）"));
    m_settingsButton->setAutoRaise(true);
    connect(m_settingsButton, &QToolButton::clicked, this, [this] { OpenSettings(); });
    auto* preferences = new QAction(QStringLiteral("首选项"), this);
    QList<QKeySequence> keys{QKeySequence(Qt::CTRL | Qt::Key_Comma)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Preferences))
        if (!keys.contains(key))
            keys.append(key);
    preferences->setShortcuts(keys);
    preferences->setShortcutContext(Qt::WindowShortcut);
    addAction(preferences);
    connect(preferences, &QAction::triggered, this, [this] { OpenSettings(); });
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
    CreateKeys();
    WatchPriceMemory();
    StartWatching(column);

    SetMainResultsHost(this);
    SetMainResultsOpener(this);

    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(0); });
    connect(m_wndCategoryTree, &CTBCatTreeCtrl::documentArrived, this, [this](bool fetched) {
        if (fetched && !m_wndCategoryTree->LastDocument().empty())
            StoreCachedDocument(kCachedCategoryDocument, CategoryDocumentUrl(), m_wndCategoryTree->LastDocument());
        CheckDocumentsReady();
    });

    // What is known at once: the local files and the documents of the last run.
    m_folders = XdgFoldersNow();
    RestoreSettings();
    LoadLocalFiles();
    ApplyCachedDocuments();
    Recompose();
    const bool serverNamed = yfx::EndpointChosen(yfx::Endpoint::Config) || yfx::EndpointChosen(yfx::Endpoint::ListSearch);
    m_bStartDemo = !m_bDemo && !serverNamed && ChosenDataSource(m_local) == DataSource::Demo;
    // The network, the keyring and the demo server are asked once the window has been painted
    // (the first paint does not wait for them), or at once when it is not being shown.
    QTimer::singleShot(0, this, [this] {
        if (!m_bAwaitingExpose)
            AskForDocuments();
    });
    QTimer::singleShot(kAskAtTheLatestMs, this, &CMainFrame::AskForDocuments); // a window never exposed
    RestorePage();
    UpdateTitle();
    if (!m_strLocalProblems.isEmpty())
        m_wndStatusBar->showMessage(m_strLocalProblems);
    connect(&m_placeTimer, &QTimer::timeout, this, &CMainFrame::SaveWindowPlace);
    m_placeTimer.setSingleShot(true);
    m_placeTimer.setInterval(500);
}

CMainFrame::~CMainFrame()
{
    if (m_placeTimer.isActive())
        SaveWindowPlace();
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
        // the message pane is painted by the bar: a screen reader reads it as the bar's name
        if (!text.isEmpty())
            m_wndStatusBar->setAccessibleName(text);
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

void CMainFrame::ShowWatchList()
{
    BringToFront();
    const int page = m_wndNavigationBar->GetTabsNum() - 1;
    if (m_wndNavigationBar->GetTabWnd(page) != m_wndWatchList)
        return;
    m_wndNavigationBar->SetActivePage(page);
    m_wndNavigationBar->show();
    m_wndWatchList->List()->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OpenWatchedItem(const QString& page)
{
    BringToFront();
    if (!m_wndWatchList->OpenPage(page))
        yfx::OpenUrl(page); // web addresses only
}

void CMainFrame::BringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void CMainFrame::StartWatching(QVBoxLayout* column)
{
    m_pAlertFallback = new CAlertFallback(this);
    column->insertWidget(1, m_pAlertFallback->Bar()); // under the announcements
    m_pNotifier = new CDesktopNotifier(this);
    connect(m_pNotifier, &CDesktopNotifier::itemRequested, this, &CMainFrame::OpenWatchedItem);
    connect(m_pNotifier, &CDesktopNotifier::watchListRequested, this, &CMainFrame::ShowWatchList);
    connect(m_pNotifier, &CDesktopNotifier::unanswered, m_pAlertFallback, &CAlertFallback::Show);
    connect(m_pAlertFallback, &CAlertFallback::viewRequested, this, &CMainFrame::ShowWatchList);

    CPriceMemory* memory = MainPriceMemory();
    if (!memory)
        return;
    m_pWatchService = new CWatchService(CNetEngine::Shared(), memory->Store(), memory->Path(), this);
    connect(m_pWatchService, &CWatchService::alerts, m_pNotifier, &CDesktopNotifier::Tell);
    connect(m_pWatchService, &CWatchService::checked, memory, &CPriceMemory::RefreshWatched);
    const auto showState = [this] {
        m_wndWatchList->SetLastCheck(m_pWatchService->LastCheck(),
                                     m_pWatchService->CurrentState() != CWatchService::State::Idle);
    };
    connect(m_pWatchService, &CWatchService::stateChanged, this, showState);
    connect(m_pWatchService, &CWatchService::checked, this, showState);
    connect(m_wndWatchList, &CWatchListPane::checkRequested, m_pWatchService, &CWatchService::CheckNow);
    connect(this, &CMainFrame::configurationChanged, m_pWatchService, [this] { m_pWatchService->SetConfiguration(m_config); });
    m_pWatchService->SetConfiguration(m_config);
    showState();
    m_pWatchService->Start();
}

void CMainFrame::WatchPriceMemory()
{
    // What the price memory has to say goes to the message pane once, never into a message box.
    CPriceMemory* memory = MainPriceMemory();
    if (!memory)
        return;
    auto say = [this](const QString& text) { m_wndStatusBar->showMessage(text, kMemoryMessageMs); };
    connect(memory, &CPriceMemory::unavailable, this, say);
    connect(memory, &CPriceMemory::notice, this, say);
    if (!memory->StatusText().isEmpty())
        say(memory->StatusText());
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
    m_wndCategoryTree = new CTBCatTreeCtrl(m_wndNavigationBar, {}, false); // its document: AskForDocuments
    m_wndNavigationBar->AddControl(m_wndCategoryTree, yfx::res::String(yfx::res::IDS_HOT_RANKING), 1);
    m_wndHomePage = new CHomePageDlg(m_wndNavigationBar);
    m_wndNavigationBar->AddControl(m_wndHomePage, yfx::res::String(yfx::res::IDS_TODAYS_PICKS), 2);
    m_wndWatchList = new CWatchListPane(m_wndNavigationBar);
    m_wndWatchList->SetMemory(MainPriceMemory());
    m_wndNavigationBar->AddControl(m_wndWatchList, QStringLiteral("我的关注"), 3);
    m_wndNavigationBar->SetActivePage(0);
    m_wndSearchPane->m_editKeyword->setFocus(); // ready to type a keyword at once
    return true;
}

void CMainFrame::AskForDocuments()
{
    if (m_bDocumentsAsked)
        return;
    m_bDocumentsAsked = true;
    m_bAwaitingExpose = false;
    ReadKeyringSecret();
    if (m_bStartDemo) {
        UseDemoData(); // the documents then come from the demo server
    } else {
        FetchConfiguration();
        m_wndCategoryTree->Refresh();
    }
    UpdatePending();
}

void CMainFrame::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_bDocumentsAsked && !m_bAwaitingExpose && windowHandle()) {
        m_bAwaitingExpose = true;
        windowHandle()->installEventFilter(this);
    }
}

void CMainFrame::FetchConfiguration()
{
    yfx::net::Request request;
    request.url = ConfigDocumentUrl();
    request.maxBytes = kMaxConfigurationBytes;
    m_strAskedConfigUrl = request.url;
    m_configFetch.Start(this, std::move(request), [this](const yfx::net::Result& r) {
        ApplyConfiguration(r.code, r.text);
        CheckDocumentsReady();
        UpdatePending();
    });
}

bool CMainFrame::ApplyConfiguration(int fetchResult, const std::string& text)
{
    ConfigurationLayer layer;
    const bool read = ReadConfigurationLayer(fetchResult, text, layer);
    if (fetchResult >= 0)
        m_bRemoteAnswered = true;
    if (read && !text.empty()) {
        m_remote = std::move(layer);
        m_bRemoteRead = true;
        m_strRemoteUrl = ConfigDocumentUrl();
        StoreCachedDocument(kCachedConfigDocument, m_strRemoteUrl, text);
    }
    Recompose();
    return read;
}

void CMainFrame::Recompose()
{
    Configuration next = MergeConfiguration(m_local, m_remote, m_bDemo);
    if (SecretFromKeyring(m_local, m_bDemo)) // never the document's secret with the user's key
        next.appSecret = next.appKey == m_strKeyringKey ? m_strKeyringSecret : std::string();
    const bool newAnnouncements = next.announcements != m_config.announcements;
    m_config = std::move(next);
    if (newAnnouncements) {
        m_timer.stop();
        m_posNextAnnouncement = -1;
        if (!m_config.announcements.empty()) {
            m_posNextAnnouncement = 0;
            m_timer.setInterval(m_nAnnouncementPeriod);
            m_timer.start();
        } else {
            m_wndCaptionBar->hide();
        }
    }
    emit configurationChanged();
}

void CMainFrame::LoadLocalFiles()
{
    m_local.clear();
    QStringList problems;
    std::vector<std::string> files;
    if (!m_folders.userConfigFile.empty())
        files.push_back(m_folders.userConfigFile);
    else
        m_local.emplace_back(); // the user's place stays first
    files.insert(files.end(), m_folders.systemConfigFiles.begin(), m_folders.systemConfigFiles.end());
    for (const std::string& path : files) {
        LocalConfigFile file;
        const LocalConfigProblem problem = ReadLocalConfigFile(path, file);
        if (problem.kind != LocalConfigProblem::Kind::None)
            problems << ProblemText(path, problem);
        m_local.push_back(std::move(file));
    }
    m_strLocalProblems = problems.join(QStringLiteral("；"));
    // a configuration server named in a file, unless the command line or the environment name
    // one, or the user chose the demo or an application of their own
    const DataSource chosen = ChosenDataSource(m_local);
    const bool serverCounts = chosen == DataSource::Unset || chosen == DataSource::Server;
    yfx::SetEndpointConfigured(yfx::Endpoint::Config, serverCounts ? ChosenConfigServer(m_local) : std::string());
}

void CMainFrame::ApplyCachedDocuments()
{
    if (m_bDemo)
        return; // the demo's documents are the demo server's, this run only
    std::string text;
    const std::string configUrl = ConfigDocumentUrl();
    if (!m_bRemoteRead && ReadCachedDocument(m_folders.cacheFolder, kCachedConfigDocument, configUrl, text)) {
        ConfigurationLayer layer;
        if (ReadConfigurationLayer(0, text, layer)) {
            m_remote = std::move(layer);
            m_bRemoteRead = true;
            m_strRemoteUrl = configUrl;
            m_keptDocuments[kCachedConfigDocument] = configUrl + "\n" + text;
        }
    }
    const std::string categoryUrl = CategoryDocumentUrl();
    if (ReadCachedDocument(m_folders.cacheFolder, kCachedCategoryDocument, categoryUrl, text) &&
        m_wndCategoryTree->ApplyDocument(text))
        m_keptDocuments[kCachedCategoryDocument] = categoryUrl + "\n" + text;
}

void CMainFrame::StoreCachedDocument(const char* name, const std::string& url, const std::string& text)
{
    if (m_bDemo || m_folders.cacheFolder.empty())
        return;
    std::string& kept = m_keptDocuments[name];
    if (kept.size() == url.size() + 1 + text.size() && kept.compare(0, url.size(), url) == 0 &&
        kept.compare(url.size() + 1, std::string::npos, text) == 0)
        return; // the same as on the disk already
    kept = url + "\n" + text;
    // flushed to the disk on a worker: the GUI thread never waits for it
    yfx::RunInPool([folder = m_folders.cacheFolder, name = std::string(name), bytes = url + "\n" + text] {
        std::string error;
        if (WritePrivateFile(folder + "/" + name, bytes, error))
            ::chmod(folder.c_str(), 0700); // it holds the application's keys: the user's only
    });
}

void CMainFrame::ReadKeyringSecret()
{
    if (!SecretFromKeyring(m_local, m_bDemo))
        return;
    const std::string key = MergeConfiguration(m_local, ConfigurationLayer{}, false).appKey;
    if (key == m_strKeyringKey || m_bSecretPending)
        return;
    m_bSecretPending = true;
    CSecretStore::Read(yfx::QStringFromGbk(key), this, [this, key](const CSecretStore::Answer& a) {
        m_bSecretPending = false;
        if (a.outcome == CSecretStore::Outcome::Ok) {
            m_strKeyringKey = key;
            m_strKeyringSecret = yfx::GbkFromQString(a.secret);
        } else if (a.outcome == CSecretStore::Outcome::NotFound) {
            m_wndStatusBar->showMessage(
                QStringLiteral("系统钥匙环中没有 AppKey %1 的 AppSecret：请在首选项中填写").arg(yfx::QStringFromGbk(key)));
        } else {
            m_wndStatusBar->showMessage(QStringLiteral("无法从系统钥匙环读取 AppSecret（%1）").arg(a.error));
        }
        Recompose();
        UpdatePending();
    });
}

void CMainFrame::ReloadDocuments()
{
    if (m_strRemoteUrl != ConfigDocumentUrl()) {
        // another server: its own documents, or the ones kept of it
        m_remote = ConfigurationLayer{};
        m_bRemoteRead = false;
        m_bRemoteAnswered = false;
        m_strRemoteUrl.clear();
        ApplyCachedDocuments();
        Recompose();
    }
    FetchConfiguration();
    m_wndCategoryTree->Refresh();
}

void CMainFrame::ReloadLocalConfiguration()
{
    LoadLocalFiles();
    if (!m_strLocalProblems.isEmpty())
        m_wndStatusBar->showMessage(m_strLocalProblems);
    Recompose();
    ReadKeyringSecret();
    if (m_bDocumentsAsked && m_strAskedConfigUrl != ConfigDocumentUrl()) // another server now (or none)
        ReloadDocuments();
    UpdatePending();
}

bool CMainFrame::ConfigurationPending() const
{
    if (!m_bDocumentsAsked) // what will be asked for as soon as the window is painted
        return !m_bRemoteRead || m_bStartDemo || SecretFromKeyring(m_local, m_bDemo);
    return (!m_bRemoteRead && m_configFetch.Pending()) || m_bSecretPending || m_bDemoStarting;
}

bool CMainFrame::NoSourceConfigured() const
{
    const bool serverChosen =
        yfx::EndpointChosen(yfx::Endpoint::Config) || yfx::EndpointChosen(yfx::Endpoint::ListSearch);
    return NothingToReach(m_config, m_bDemo, serverChosen, m_bRemoteRead || m_bRemoteAnswered);
}

void CMainFrame::UpdatePending()
{
    const bool pending = ConfigurationPending();
    const bool became = m_bWasPending && !pending;
    m_bWasPending = pending;
    if (pending)
        return;
    for (CChildFrame* w : ResultsWindows())
        w->View()->ConfigurationKnown(); // a window that waited goes on; the others ignore it
    if (became)
        emit configurationKnown();
}

void CMainFrame::UseDemoData()
{
    if (m_bDemo || m_bDemoStarting)
        return;
    m_bDemoStarting = true;
    const QString program = m_strDemoProgram.isEmpty()
                                ? CDemoServer::Locate(QCoreApplication::applicationDirPath())
                                : m_strDemoProgram;
    m_demoServer.Begin(program, [this](bool ok) {
        m_bDemoStarting = false;
        if (ok) {
            yfx::SetEndpointServer(m_demoServer.BaseUrl().toStdString());
            m_bDemo = true;
            Recompose();
            ReloadDocuments();
        } else {
            m_wndStatusBar->showMessage(QStringLiteral("演示服务器未能启动：%1").arg(m_demoServer.Error()));
            if (m_strAskedConfigUrl.empty()) { // the start waited for the demo: the documents as configured
                FetchConfiguration();
                m_wndCategoryTree->Refresh();
            }
        }
        UpdatePending();
    });
    UpdatePending();
}

void CMainFrame::OpenSourceSettings()
{
    if (CSettingsDialog* dialog = OpenSettings())
        dialog->FocusPlatformAccount();
}

CSettingsDialog* CMainFrame::OpenSettings()
{
    if (m_settingsDialog) {
        m_settingsDialog->raise();
        m_settingsDialog->activateWindow();
        return m_settingsDialog;
    }
    // what the dialog shows: the local files' choice and application, else what is in force
    const Configuration own = MergeConfiguration(m_local, ConfigurationLayer{}, false);
    DataSourceSettings current;
    const DataSource chosen = ChosenDataSource(m_local);
    const bool serverNamed = yfx::EndpointChosen(yfx::Endpoint::Config);
    if (chosen != DataSource::Unset)
        current.choice = chosen;
    else if (m_bDemo)
        current.choice = DataSource::Demo;
    else if (serverNamed && own.appKey.empty())
        current.choice = DataSource::Server;
    current.appKey = yfx::QStringFromGbk(own.appKey);
    current.pid = yfx::QStringFromGbk(own.pid);
    current.signMethod = own.signMethod;
    current.secretInFile = !m_local.empty() && m_local.front().members.appSecret.has_value();
    current.appSecret = yfx::QStringFromGbk(!own.appSecret.empty() ? own.appSecret
                                            : own.appKey == m_strKeyringKey ? m_strKeyringSecret
                                                                            : std::string());
    const std::string server = ChosenConfigServer(m_local);
    current.configServer = QString::fromStdString(
        !server.empty() ? server : serverNamed && !m_bDemo ? yfx::EndpointBase(yfx::Endpoint::Config) : std::string());

    auto* dialog = new CSettingsDialog(current, m_folders.userConfigFile, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &CSettingsDialog::dataSourceSaved, this, &CMainFrame::ApplySettings);
    connect(dialog, &CSettingsDialog::clearKeywordHistoryRequested, m_wndSearchPane, &CLumbraWnd::ClearKeywordHistory);
    // Pages of other parts of the program, each saving itself when the dialog is accepted.
    auto* prices = new CPriceMemoryPage(MainPriceMemory());
    dialog->AddPage(QStringLiteral("价格记录"), prices);
    connect(dialog, &QDialog::accepted, prices, &CPriceMemoryPage::Save);
    auto* watch = new CWatchSettingsPage;
    dialog->AddPage(QStringLiteral("降价提醒"), watch);
    connect(dialog, &QDialog::accepted, watch, &CWatchSettingsPage::Save);
    if (m_pWatchService) // after the page has saved the interval
        connect(dialog, &QDialog::accepted, m_pWatchService, &CWatchService::Reschedule);
    m_settingsDialog = dialog;
    dialog->open();
    return dialog;
}

void CMainFrame::ApplySettings(const DataSourceSettings& saved)
{
    if (saved.choice == DataSource::OpenPlatform && !saved.secretInFile) {
        m_strKeyringKey = yfx::GbkFromQString(saved.appKey); // just written to the keyring
        m_strKeyringSecret = yfx::GbkFromQString(saved.appSecret);
    }
    if (saved.choice != DataSource::Demo && m_bDemo) {
        // the demo of this run gives way to the chosen source
        m_demoServer.Stop();
        yfx::SetEndpointServer(std::string());
        m_bDemo = false;
    }
    ReloadLocalConfiguration();
    if (saved.choice == DataSource::Demo)
        UseDemoData();
    // windows that said there was no source try again with the new one
    for (CChildFrame* w : ResultsWindows())
        if (w->View()->ShowsFirstRun())
            w->View()->SearchAgain();
}

void CMainFrame::RestoreSettings()
{
    QSettings settings;
    // the window's place, when it is still on a screen
    const QPoint place = settings.value(kPositionKey).toPoint();
    if (settings.contains(kPositionKey) && QGuiApplication::screenAt(QRect(place, size()).center()))
        move(place);
    m_wndSearchPane->SetKeywordHistory(settings.value(kKeywordsKey).toStringList());
    connect(m_wndSearchPane, &CLumbraWnd::keywordHistoryChanged, this, [](const QStringList& keywords) {
        QSettings s;
        s.setValue(kKeywordsKey, keywords);
        s.sync();
    });
}

void CMainFrame::RestorePage()
{
    // the home page opens today's picks when it becomes active, as it does for a click
    const int page = QSettings().value(kPageKey, 0).toInt();
    if (page > 0 && page < m_wndNavigationBar->GetTabsNum())
        m_wndNavigationBar->SetActivePage(page);
    connect(m_wndNavigationBar->Pages(), &QToolBox::currentChanged, this, [](int index) {
        QSettings s;
        s.setValue(kPageKey, index);
        s.sync();
    });
}

void CMainFrame::SaveWindowPlace()
{
    m_placeTimer.stop();
    QSettings s;
    s.setValue(kPositionKey, pos());
    s.sync();
}

void CMainFrame::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        m_placeTimer.start();
}

bool CMainFrame::DocumentsPending() const
{
    return !m_bDocumentsAsked || m_bDemoStarting || m_configFetch.Pending() ||
           (m_wndCategoryTree && m_wndCategoryTree->DocumentPending());
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
    // Tab from the view leaves the results window for the navigation bar's page
    if (child->View())
        child->View()->installEventFilter(this);
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
    // The document menu and the settings button have their own place at the right of the tab
    // row, which ends where they begin, so they cover neither a tab's close button nor the
    // row's scroll arrows: [tabs…][首选项][▼]. No window: no document menu, and the settings
    // button alone at the top right.
    if (m_bPlacingDocumentMenu)
        return;
    QTabBar* bar = TabBar();
    const bool windows = bar && !m_mdiArea->subWindowList().isEmpty() && !bar->isHidden();
    m_bPlacingDocumentMenu = true;
    const QSize settings = m_settingsButton->sizeHint();
    const QRect row = windows ? bar->geometry() : QRect(0, 0, 0, settings.height());
    const int menuWidth = windows ? m_documentMenuButton->sizeHint().width() : 0;
    const int settingsLeft = m_mdiArea->width() - menuWidth - settings.width();
    if (windows) {
        if (row.x() + row.width() > settingsLeft)
            bar->setGeometry(row.x(), row.y(), std::max(0, settingsLeft - row.x()), row.height());
        m_documentMenuButton->setGeometry(settingsLeft + settings.width(), row.y(), menuWidth, row.height());
        m_documentMenuButton->show();
        m_documentMenuButton->raise();
    } else {
        m_documentMenuButton->hide();
    }
    m_settingsButton->setGeometry(settingsLeft, row.y(), settings.width(), windows ? row.height() : settings.height());
    m_settingsButton->show();
    m_settingsButton->raise();
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
    yfx::AddPriceMemoryActions(menu, MainPriceMemory(), this);
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
    if (event->type() == QEvent::KeyPress && qobject_cast<CLumbra2View*>(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab))
            if (TabAcross(static_cast<QWidget*>(watched), key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier)))
                return true;
    }
    if (m_bAwaitingExpose && watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, &CMainFrame::AskForDocuments); // after the first paint
    }
    const bool area = watched == m_mdiArea && event->type() == QEvent::Resize;
    const bool row = m_mdiArea && watched == TabBar() &&
                     (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
                      event->type() == QEvent::Show || event->type() == QEvent::Hide);
    if (area || row)
        PlaceDocumentMenuButton();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::CreateKeys()
{
    auto add = [this](const QList<QKeySequence>& keys, auto slot) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add({QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::CTRL | Qt::Key_L)}, [this] { FocusKeyword(); });
    add({QKeySequence(Qt::Key_F6)}, [this] { CycleFocus(true); });
    add({QKeySequence(Qt::SHIFT | Qt::Key_F6)}, [this] { CycleFocus(false); });
    add({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, [this] { SwitchTab(1); });
    add({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
         QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
        [this] { SwitchTab(-1); });
    for (int page = 0; page < m_wndNavigationBar->GetTabsNum() && page < 9; ++page)
        add({QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_1 + page))}, [this, page] {
            m_wndNavigationBar->SetActivePage(page);
            FocusNavigationPage();
        });
}

CLumbra2View* CMainFrame::ActiveView() const
{
    auto* child = qobject_cast<CChildFrame*>(m_mdiArea->currentSubWindow());
    return child ? child->View() : nullptr;
}

void CMainFrame::FocusKeyword()
{
    if (m_wndNavigationBar->Pages()->indexOf(m_wndSearchPane) >= 0)
        m_wndNavigationBar->SetActivePage(0);
    m_wndSearchPane->window()->activateWindow(); // also when the pane floats on its own
    m_wndSearchPane->m_editKeyword->setFocus(Qt::ShortcutFocusReason);
    m_wndSearchPane->m_editKeyword->selectAll();
}

namespace {

// The widgets Tab stops at inside `page`, in focus-chain order.
QList<QWidget*> TabStops(QWidget* page)
{
    QList<QWidget*> stops;
    if (!page)
        return stops;
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (!page->isAncestorOf(w))
            continue;
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() && !stops.contains(w))
            stops.append(w);
    }
    return stops;
}

} // namespace

void CMainFrame::FocusNavigationPage()
{
    QWidget* page = m_wndNavigationBar->Pages()->currentWidget();
    if (!page)
        return;
    // where the focus was in the page last, else its first stop
    QWidget* last = page->focusWidget();
    if (last && page->isAncestorOf(last) && last->isVisible()) {
        last->setFocus(Qt::OtherFocusReason);
        return;
    }
    const QList<QWidget*> stops = TabStops(page);
    if (!stops.isEmpty())
        stops.first()->setFocus(Qt::OtherFocusReason);
    else
        page->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::CycleFocus(bool)
{
    // two regions: the way round is the same in both directions
    CLumbra2View* view = ActiveView();
    QWidget* focus = QApplication::focusWidget();
    const bool inView = view && focus && (focus == view || view->isAncestorOf(focus));
    if (view && !inView)
        view->setFocus(Qt::OtherFocusReason);
    else
        FocusNavigationPage();
}

void CMainFrame::SwitchTab(int step)
{
    QTabBar* bar = TabBar();
    if (!bar || bar->count() < 2)
        return;
    QWidget* focus = QApplication::focusWidget();
    const bool viewHadFocus = focus && m_mdiArea->isAncestorOf(focus);
    bar->setCurrentIndex((bar->currentIndex() + step + bar->count()) % bar->count());
    if (viewHadFocus)
        if (CLumbra2View* view = ActiveView())
            view->setFocus(Qt::OtherFocusReason);
}

bool CMainFrame::focusNextPrevChild(bool next)
{
    return TabAcross(QApplication::focusWidget(), next) || QMainWindow::focusNextPrevChild(next);
}

bool CMainFrame::TabAcross(QWidget* focus, bool next)
{
    // Tab leaves the navigation bar's page for the active view after its last control, and
    // comes back to the page's first (Shift+Tab: last) control from the view.
    CLumbra2View* view = ActiveView();
    const QList<QWidget*> stops = TabStops(m_wndNavigationBar->Pages()->currentWidget());
    if (view && focus && !stops.isEmpty()) {
        if (focus == (next ? stops.last() : stops.first())) {
            view->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
        if (focus == view) {
            (next ? stops.first() : stops.last())->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}
