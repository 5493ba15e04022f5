#pragma once
// The program's one top-level window: a fixed-size frame whose results windows are tabs,
// with the navigation bar at the left, the announcement bar at the top, a hidden menu bar and
// the status bar. It holds the configuration read at its creation and opens every results
// window.
#include "market/Configuration.h"
#include "panes/ResultsOpener.h"
#include "results/AsyncFetch.h"
#include "results/ResultsHost.h"

#include <QMainWindow>
#include <QSet>
#include <QTimer>

class CAnnouncementBar;
class CChildFrame;
class CHomePageDlg;
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
    // The narrowest a tab gets before the tab row scrolls: room for an elided title.
    static constexpr int kMinTabWidth = 150;
    // The frame's command that closes the active results window ("关闭(&C)").
    static constexpr int ID_FILE_CLOSE = 57602;

    // Creates the whole frame: bars, navigation bar with its pages (the category tree asks
    // for its document), and asks for the configuration document; both come in the
    // background (documentsReady). `announcementPeriodMs` is for tests.
    explicit CMainFrame(QWidget* parent = nullptr, int announcementPeriodMs = kAnnouncementPeriodMs);
    ~CMainFrame() override;

    // Asks for the configuration document; when it arrives ApplyConfiguration reads it into the
    // members below. Returns at once.
    void FetchConfiguration();
    // Reads a fetched configuration document (`fetchResult` as HttpGetText gives it) into the
    // members below and starts the announcement timer when there are announcements. False
    // as ReadConfigurationText reports.
    bool ApplyConfiguration(int fetchResult, const std::string& text);
    // True until both start-up documents (configuration, categories) arrived or failed.
    bool DocumentsPending() const;

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
    CAnnouncementBar* CaptionBar() const { return m_wndCaptionBar; }
    const QTimer& AnnouncementTimer() const { return m_timer; }
    QList<CChildFrame*> ResultsWindows() const;
    // The tab row of the results windows (null before the first one opens) and the document
    // menu's button at its right.
    QTabBar* TabBar() const;
    QToolButton* DocumentMenuButton() const { return m_documentMenuButton; }

signals:
    // Both start-up documents have arrived or failed (once).
    void documentsReady();

public:
    // Configuration members (the seller map, the announcements, the next one, key, secret, pid).
    Configuration m_config;
    int m_posNextAnnouncement = -1; // index into m_config.announcements; -1: none

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateCaptionBar();
    void CreateStatusBar();
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

    QMdiArea* m_mdiArea = nullptr;
    QMenuBar* m_wndMenuBar = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QLabel* m_indicators[3] = {};
    COutlookBar* m_wndNavigationBar = nullptr;
    CTBCatTreeCtrl* m_wndCategoryTree = nullptr;
    CLumbraWnd* m_wndSearchPane = nullptr;
    CHomePageDlg* m_wndHomePage = nullptr;
    CAnnouncementBar* m_wndCaptionBar = nullptr;
    QToolButton* m_documentMenuButton = nullptr;
    QStyle* m_tabStyle = nullptr; // the tab row's style: the application's, with a minimum tab width
    bool m_bPlacingDocumentMenu = false;
    QTimer m_timer;
    QTimer m_indicatorTimer;
    int m_nAnnouncementPeriod;
    yfx::CAsyncFetch m_configFetch;
    bool m_bDocumentsReady = false;
    QSet<QObject*> m_loadingViews; // results views waiting for their answer
};
