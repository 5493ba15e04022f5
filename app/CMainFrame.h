#pragma once
// The program's one top-level window: a fixed-size frame whose results windows are tabs,
// with the navigation bar at the left, the announcement bar at the top, a hidden menu bar and
// the status bar. It holds the configuration and opens every results window.
//
// The configuration is composed member by member from the user's config.json, the system's
// and the remote document (LocalConfiguration.h), with the secret from the desktop's keyring.
// The last documents that arrived are kept in the cache folder and applied before the window
// shows; fresh ones are applied when they come. Until some configuration is known, results
// windows wait in their loading state. The settings dialog (首选项) opens from the tab row's
// button, Ctrl+, and the desktop's Preferences key. The window's place, the navigation bar's
// page and the keyword history are kept in the settings store.
//
// Keys: Ctrl+F and Ctrl+L focus the keyword field from anywhere; F6 and Shift+F6 move the focus
// between the navigation bar's page and the active results view; Tab goes through the page's
// controls and then into the view (Shift+Tab back); Ctrl+Tab and Ctrl+Page Down go to the next
// tab, Ctrl+Shift+Tab and Ctrl+Page Up to the previous one; Alt+1, Alt+2, Alt+3 show the
// navigation bar's pages.
#include "app/CDemoServer.h"
#include "app/CSettingsDialog.h"
#include "market/Configuration.h"
#include "market/LocalConfiguration.h"
#include "panes/ResultsOpener.h"
#include "results/AsyncFetch.h"
#include "results/ResultsHost.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <map>
#include <string>

class CAnnouncementBar;
class CChildFrame;
class CLumbra2View;
class CHomePageDlg;
class CWatchListPane;
class CWatchService;
class CDesktopNotifier;
class CAlertFallback;
class CLumbraWnd;
class COutlookBar;
class CTBCatTreeCtrl;
class QLabel;
class QMdiArea;
class QMenuBar;
class QStatusBar;
class QStyle;
class QTabBar;
class QToolButton;

class CMainFrame : public QMainWindow, public IResultsHost, public IResultsOpener {
    Q_OBJECT
public:
    static constexpr int kWidth = 1008;
    static constexpr int kHeight = 700;
    static constexpr int kAnnouncementPeriodMs = 30000;
    // A window that was shown but never painted asks for its documents after this long.
    static constexpr int kAskAtTheLatestMs = 1000;
    // The narrowest a tab gets before the tab row scrolls: room for an elided title.
    static constexpr int kMinTabWidth = 150;
    // The frame's command that closes the active results window ("关闭(&C)").
    static constexpr int ID_FILE_CLOSE = 57602;
    // How long the message pane shows what the price memory had to say.
    static constexpr int kMemoryMessageMs = 15000;

    // Creates the whole frame: bars, navigation bar with its pages; reads the local files and
    // the documents kept from the last run, then asks for the configuration document, the
    // category document (both come in the background: documentsReady) and, when the local
    // files name an application without a secret, the keyring. `demo`: the bundled server of
    // --demo serves this run (the local files then do not count). `announcementPeriodMs` is for
    // tests.
    explicit CMainFrame(QWidget* parent = nullptr, int announcementPeriodMs = kAnnouncementPeriodMs,
                        bool demo = false);
    ~CMainFrame() override;

    // Asks for the configuration document; when it arrives it fills the members below and
    // starts the announcement timer when there are announcements. Returns at once.
    void FetchConfiguration();
    // Reads a fetched configuration document (`fetchResult` as HttpGetText gives it) and
    // composes the members below anew; the announcement rotation starts over when the
    // announcements changed. A document that cannot be read, or an empty one, leaves the last
    // one read (this run or kept from an earlier one) in force. False as ReadConfigurationText
    // reports.
    bool ApplyConfiguration(int fetchResult, const std::string& text);
    // True until both start-up documents (configuration, categories) were asked for and arrived
    // or failed.
    bool DocumentsPending() const;

    // IResultsHost: nothing known yet (no document read, none kept, the keyring or the demo
    // server not answered yet); no source at all (first run).
    bool ConfigurationPending() const override;
    bool NoSourceConfigured() const override;
    // The first-run text's links: the settings with the open-platform account; the bundled
    // server for this run (results windows waiting meanwhile), the documents then from it.
    void OpenSourceSettings() override;
    void UseDemoData() override;
    // The bundled server's program for UseDemoData (default: found beside the program).
    void SetDemoServerProgram(const QString& program) { m_strDemoProgram = program; }
    bool DemoRunning() const { return m_bDemo; }

    // The settings dialog (opened once, raised when open already); null when it could not be
    // made. It shows the data source in force and writes the user's config.json.
    CSettingsDialog* OpenSettings();
    CSettingsDialog* SettingsDialog() const { return m_settingsDialog; }
    QToolButton* SettingsButton() const { return m_settingsButton; }
    // Reads the local files again and composes the configuration anew (after the settings
    // were saved); the documents are asked for again when the configuration server changed.
    void ReloadLocalConfiguration();
    // What the local files said was wrong with them ("" when nothing), as the status bar showed it.
    const QString& LocalConfigurationProblems() const { return m_strLocalProblems; }

    // A new results window (a new tab, made active) for `address`, titled `title` + " - 销量"
    // for order 0 or " - 价格" for any other order. Its view starts fetching at once.
    QWidget* OpenResults(const std::string& address, const QString& title, int order) override;
    // The same, and the document keeps the query the address was built from.
    QWidget* OpenSearchResults(const SearchQuery& query, const std::string& address, const QString& title,
                               int order) override;
    // A results window with an empty address (it stays empty), titled as given.
    CChildFrame* OpenEmptyResults(const QString& title);

    const Configuration& HostConfiguration() const override { return m_config; }

    // The announcement tick of timer 0: shows the bar with the next announcement.
    void OnTimer(int id);
    // The window list (command 131): activate or close results windows.
    void ShowWindowsDialog();
    // Command 57602 (also Ctrl+F4 and Ctrl+W): closes the active results window, if any.
    void OnFileClose();

    QMdiArea* MdiArea() const { return m_mdiArea; }
    COutlookBar* NavigationBar() const { return m_wndNavigationBar; }
    CLumbraWnd* SearchPane() const { return m_wndSearchPane; }
    CTBCatTreeCtrl* CategoryTree() const { return m_wndCategoryTree; }
    CHomePageDlg* HomePage() const { return m_wndHomePage; }
    CWatchListPane* WatchList() const { return m_wndWatchList; }
    // Shows the "我的关注" page and brings the window to the front (a notice's action).
    void ShowWatchList();
    // Opens the watched item whose page is `page` as its tile would (a notice's action) and
    // brings the window to the front; an address not on the list opens as it is.
    void OpenWatchedItem(const QString& page);
    // The watch list's checks while the program runs (null without a price memory).
    CWatchService* WatchService() const { return m_pWatchService; }
    CDesktopNotifier* Notifier() const { return m_pNotifier; }
    CAlertFallback* AlertFallback() const { return m_pAlertFallback; }
    CAnnouncementBar* CaptionBar() const { return m_wndCaptionBar; }
    const QTimer& AnnouncementTimer() const { return m_timer; }
    QList<CChildFrame*> ResultsWindows() const;
    // The tab row of the results windows (null before the first one opens) and the document
    // menu's button at its right. The document menu lists the windows, the window manager and
    // the price memory's commands ("不记录价格", "清除价格记录…").
    QTabBar* TabBar() const;
    QToolButton* DocumentMenuButton() const { return m_documentMenuButton; }
    // The view of the current results window, null without one.
    CLumbra2View* ActiveView() const;
    // Focus moves of the keyboard (see the keys above).
    void FocusKeyword();
    void FocusNavigationPage();
    // F6 (forward) and Shift+F6: from the view to the navigation bar's page, from anywhere else
    // to the active view (the page when there is none).
    void CycleFocus(bool forward);
    // The next (`step` 1) or previous (-1) tab, round the ends; its view takes the focus when a
    // view had it.
    void SwitchTab(int step);

signals:
    // Both start-up documents have arrived or failed (once).
    void documentsReady();
    // The configuration became known: results windows that waited for it go on.
    void configurationKnown();
    // The configuration was composed anew (a document, the keyring, the settings).
    void configurationChanged();

public:
    // Configuration members (the seller map, the announcements, the next one, key, secret, pid).
    Configuration m_config;
    int m_posNextAnnouncement = -1; // index into m_config.announcements; -1: none

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateCaptionBar();
    void CreateStatusBar();
    void CreateKeys();
    // Tab (`next`) or Shift+Tab from `focus` across the border of the page and the view: true
    // when it moved the focus.
    bool TabAcross(QWidget* focus, bool next);
    // Shows what the application's price memory says in the message pane.
    void WatchPriceMemory();
    bool CreateNavigationBar();
    void UpdateTitle();
    void UpdateTabCloseButtons();
    void UpdateTabTexts();
    void PlaceDocumentMenuButton();
    void AddResultsWindow(CChildFrame* child);
    CChildFrame* OpenResultsFor(yfx::ResultsDocData data, const QString& title);
    void UpdateKeyIndicators();
    void RebuildDocumentMenu();
    void CheckDocumentsReady();
    // The message pane says "正在搜索…" while any results window waits for its answer.
    void UpdateBusyMessage();
    // The configuration from the local files, the remote document and the keyring's secret.
    void Recompose();
    void LoadLocalFiles();
    void ApplyCachedDocuments();
    void ReadKeyringSecret();
    // Asks for both documents again (a new server, the demo).
    void ReloadDocuments();
    // The first asking of the start: the documents, the keyring's secret, the demo server.
    void AskForDocuments();
    // Tells waiting results windows once nothing is pending any more.
    void UpdatePending();
    void ApplySettings(const DataSourceSettings& saved);
    void RestoreSettings();
    void RestorePage();
    void SaveWindowPlace();
    void StoreCachedDocument(const char* name, const std::string& url, const std::string& text);

    QMdiArea* m_mdiArea = nullptr;
    QMenuBar* m_wndMenuBar = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QLabel* m_indicators[3] = {};
    COutlookBar* m_wndNavigationBar = nullptr;
    CTBCatTreeCtrl* m_wndCategoryTree = nullptr;
    CLumbraWnd* m_wndSearchPane = nullptr;
    CHomePageDlg* m_wndHomePage = nullptr;
    CWatchListPane* m_wndWatchList = nullptr;
    CWatchService* m_pWatchService = nullptr;
    CDesktopNotifier* m_pNotifier = nullptr;
    CAlertFallback* m_pAlertFallback = nullptr;
    // The checks, the notices and their fallback bar (put into `column` under the announcements).
    void StartWatching(class QVBoxLayout* column);
    void BringToFront();
    CAnnouncementBar* m_wndCaptionBar = nullptr;
    QToolButton* m_documentMenuButton = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QPointer<CSettingsDialog> m_settingsDialog;
    QStyle* m_tabStyle = nullptr; // the tab row's style: the application's, with a minimum tab width
    bool m_bPlacingDocumentMenu = false;
    QTimer m_timer;
    QTimer m_indicatorTimer;
    int m_nAnnouncementPeriod;
    yfx::CAsyncFetch m_configFetch;
    bool m_bDocumentsReady = false;
    // the configuration's sources
    XdgFolders m_folders;
    std::vector<LocalConfigFile> m_local; // the user's file, then the system's
    ConfigurationLayer m_remote;          // the last readable document, this run or kept
    std::string m_strRemoteUrl;           // where m_remote came from
    std::string m_strAskedConfigUrl;      // where the configuration was last asked for
    bool m_bRemoteRead = false;           // a readable document is in m_remote
    bool m_bRemoteAnswered = false;       // the configuration server answered this run
    bool m_bDemo = false;
    bool m_bSecretPending = false;
    std::string m_strKeyringKey;          // the application key the keyring's secret belongs to
    std::string m_strKeyringSecret;
    bool m_bWasPending = true;
    bool m_bDocumentsAsked = false;
    bool m_bAwaitingExpose = false; // shown: the asking waits for the first paint
    bool m_bStartDemo = false;      // the local files chose the demo: started when asking
    bool m_bDemoStarting = false;   // from UseDemoData until the server said its port or failed
    std::map<std::string, std::string> m_keptDocuments; // name -> what the cache file holds
    QString m_strLocalProblems;
    CDemoServer m_demoServer;
    QString m_strDemoProgram;
    QTimer m_placeTimer; // saves the window's place a moment after it moved
    QSet<QObject*> m_loadingViews; // results views waiting for their answer
};
