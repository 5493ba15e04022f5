// The whole main window, offscreen, against the local marketplace server.
#include "app/CAnnouncementBar.h"
#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "app/CLumbra2Doc.h"
#include "app/CMainFrame.h"
#include "app/COutlookBar.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "market/TBRecord.h"
#include "controls/CMyUrlStatic.h"
#include "panes/CHomePageDlg.h"
#include "panes/CLumbraWnd.h"
#include "panes/CTBCatTreeCtrl.h"
#include "results/CLumbra2View.h"
#include "tests/support/MarketServerProcess.h"

#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QMdiArea>
#include <QMenuBar>
#include <QToolButton>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolBox>
#include <memory>

namespace {

std::unique_ptr<yfx::test::MarketServerProcess> g_server;

QStringList TabTitles(CMainFrame* frame)
{
    QStringList titles;
    for (CChildFrame* w : frame->ResultsWindows())
        titles.append(w->windowTitle());
    return titles;
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(g_server->Started(), g_server->Error().c_str());
        yfx::SetEndpointServer(g_server->BaseUrl());
        SetErrorReporter([this](const std::string&, const std::string& text) { reports.append(QString::fromStdString(text)); });
        auto* app = static_cast<CLumbra2App*>(qApp);
        QVERIFY(app->InitInstance(0));
        frame = app->MainFrame();
        QVERIFY(frame);
        SetErrorReporter([this](const std::string&, const std::string& text) { reports.append(QString::fromStdString(text)); });
        QVERIFY(QTest::qWaitForWindowExposed(frame));
    }

    void startsWithoutResultsWindowsDespiteAFileArgument()
    {
        // the test runs with a file name on the command line
        QVERIFY(qApp->arguments().contains(QStringLiteral("some-file.txt")));
        QVERIFY(frame->ResultsWindows().isEmpty());
        QCOMPARE(frame->NavigationBar()->Pages()->currentIndex(), 0);
    }

    void fixedSizeWithoutMaximise()
    {
        QCOMPARE(frame->size(), QSize(1008, 700));
        QCOMPARE(frame->minimumSize(), frame->maximumSize());
        QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!frame->menuBar()->isVisible());
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("就绪"));
        for (const char* name : {"CAP", "NUM", "SCRL"})
            QVERIFY(frame->statusBar()->findChild<QWidget*>(QString::fromLatin1(name)));
        QCOMPARE(frame->NavigationBar()->width(), 250);
        QCOMPARE(frame->NavigationBar()->windowTitle(), QStringLiteral("快捷方式"));
        QCOMPARE(frame->NavigationBar()->GetTabsNum(), 3);
        const QToolBox* pages = frame->NavigationBar()->Pages();
        QCOMPARE(pages->itemText(0), QStringLiteral("自助搜索"));
        QCOMPARE(pages->itemText(1), QStringLiteral("热卖排行"));
        QCOMPARE(pages->itemText(2), QStringLiteral("悦丰选今日推荐"));
        QVERIFY(!pages->itemIcon(2).isNull());
    }

    void configurationWasReadAtCreation()
    {
        const Configuration& cfg = frame->HostConfiguration();
        QVERIFY(!cfg.appKey.empty());
        QVERIFY(!cfg.appSecret.empty());
        QVERIFY(!cfg.pid.empty());
        QCOMPARE(cfg.sellerNicks.size(), size_t(3));
        QCOMPARE(cfg.announcements.size(), size_t(3));
        QVERIFY(frame->AnnouncementTimer().isActive());
        QCOMPARE(frame->AnnouncementTimer().interval(), 30000);
        // the category tree fetched its document during creation
        QVERIFY(frame->CategoryTree()->RootItem()->childCount() > 0);
    }

    void announcementsRotateFromTheFirstTick()
    {
        CAnnouncementBar* bar = frame->CaptionBar();
        QVERIFY(!bar->isVisible()); // nothing before the first tick
        const auto& list = frame->HostConfiguration().announcements;
        QStringList seen;
        for (int tick = 0; tick < 4; ++tick) {
            frame->OnTimer(0);
            QVERIFY(bar->isVisible());
            seen.append(bar->Text());
            if (tick == 1)
                bar->CloseButton()->click(); // closed by the user: the next tick shows it again
        }
        QStringList expected;
        for (size_t i : {0, 1, 2, 0})
            expected.append(QString::fromStdString(yfx::GbkToUtf8(list[i])));
        QCOMPARE(seen, expected);
        frame->OnTimer(1); // another timer id does nothing
        QCOMPARE(bar->Text(), expected.last());
    }

    void searchOpensTabsWithTheirSuffix()
    {
        CLumbraWnd* pane = frame->SearchPane();
        pane->OnClearFields();
        pane->m_editKeyword->setText(QStringLiteral("手机"));
        const size_t before = g_server->Requests().size();
        QTest::mouseClick(pane->m_btnSearch, Qt::LeftButton);
        QTest::mouseClick(pane->m_btnByPrice, Qt::LeftButton);
        QCOMPARE(TabTitles(frame), (QStringList{QStringLiteral("自助搜索 - 销量"), QStringLiteral("自助搜索 - 价格")}));
        QCOMPARE(frame->MdiArea()->activeSubWindow(), frame->ResultsWindows().last());
        QCOMPARE(frame->windowTitle(), QStringLiteral("悦丰选网购助手 - 自助搜索 - 价格"));
        // both asked the server for the same GBK keyword
        const auto requests = g_server->WaitForRequests(before + 2);
        int searches = 0;
        for (size_t i = before; i < requests.size(); ++i) {
            if (requests[i].path != "/itemlist/default.htm")
                continue;
            ++searches;
            QVERIFY(requests[i].rawQuery.find("q=%CA%D6%BB%FA") != std::string::npos);
            QCOMPARE(requests[i].query.at("q"), std::string("手机"));
            QCOMPARE(requests[i].query.at("cat"), std::string("0"));
            QCOMPARE(requests[i].userAgent, std::string("HttpClient"));
        }
        QCOMPARE(searches, 2);
        // the views show the answer's items
        for (CChildFrame* w : frame->ResultsWindows())
            QVERIFY(w->View()->Tiles().size() > 0);
        QVERIFY(reports.isEmpty());
    }

    void rankingOfTheRootCategory()
    {
        CTBCatTreeCtrl* tree = frame->CategoryTree();
        tree->setCurrentItem(tree->RootItem());
        tree->OnQueryCategory();
        QCOMPARE(TabTitles(frame).last(), QStringLiteral("热卖排行 - 所有市场 - 销量"));
        QTreeWidgetItem* leaf = tree->RootItem()->child(0)->child(0);
        tree->setCurrentItem(leaf);
        tree->OnQueryCategory();
        QCOMPARE(TabTitles(frame).last(), QStringLiteral("热卖排行 - ") + leaf->text(0) + QStringLiteral(" - 销量"));
        QVERIFY(frame->ResultsWindows().last()->View()->Tiles().size() > 0);
    }

    void homePageOpensTodaysPicksEveryTime()
    {
        COutlookBar* bar = frame->NavigationBar();
        const int before = static_cast<int>(frame->ResultsWindows().size());
        bar->SetActivePage(1);
        QCOMPARE(static_cast<int>(frame->ResultsWindows().size()), before);
        bar->SetActivePage(2);
        QCOMPARE(static_cast<int>(frame->ResultsWindows().size()), before + 1);
        QCOMPARE(TabTitles(frame).last(), QStringLiteral("悦丰选今日推荐 - 销量"));
        bar->SetActivePage(0);
        bar->SetActivePage(2);
        QCOMPARE(static_cast<int>(frame->ResultsWindows().size()), before + 2);
        int picks = 0;
        for (const auto& r : g_server->Requests())
            if (r.path == "/itemlist/default.htm" && r.query.count("nick") && r.query.at("nick") == "青禾小货郎")
                ++picks;
        QCOMPARE(picks, 2);
        QVERIFY(frame->ResultsWindows().last()->View()->Tiles().size() > 0);
        bar->SetActivePage(0);
    }

    void newWindowsAreNumberedAndEmpty()
    {
        auto searches = [] {
            int n = 0;
            for (const auto& r : g_server->Requests())
                n += r.path == "/itemlist/default.htm" || r.path.rfind("/market/", 0) == 0;
            return n;
        };
        const int before = searches();
        auto* app = static_cast<CLumbra2App*>(qApp);
        app->OnFileNew();
        app->OnFileNew();
        const QStringList titles = TabTitles(frame);
        QCOMPARE(titles[titles.size() - 2], QStringLiteral("Lumbra2 1"));
        QCOMPARE(titles.last(), QStringLiteral("Lumbra2 2"));
        QCOMPARE(frame->ResultsWindows().last()->View()->Tiles().size(), size_t(0));
        QCOMPARE(searches(), before);
        // Ctrl+N reaches the same command
        QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(TabTitles(frame).last(), QStringLiteral("Lumbra2 3"));
    }

    void onlyTheActiveTabHasACloseButton()
    {
        auto* tabs = frame->MdiArea()->findChild<QTabBar*>();
        QVERIFY(tabs);
        QVERIFY(tabs->count() > 2);
        QVERIFY(tabs->isMovable());
        for (int i = 0; i < tabs->count(); ++i) {
            QWidget* button = tabs->tabButton(i, QTabBar::RightSide);
            if (!button)
                button = tabs->tabButton(i, QTabBar::LeftSide);
            QVERIFY(button);
            QCOMPARE(button->isVisibleTo(tabs), i == tabs->currentIndex());
        }
    }

    void closingTabsInAnyOrderWhileLoading()
    {
        // several windows whose pictures are still arriving, closed out of order
        CLumbraWnd* pane = frame->SearchPane();
        for (int i = 0; i < 3; ++i)
            pane->RunSearch(i % 2);
        auto windows = frame->ResultsWindows();
        QVERIFY(windows.size() >= 3);
        QPointer<CChildFrame> middle = windows[windows.size() - 2];
        QPointer<CChildFrame> last = windows.last();
        QPointer<CChildFrame> first = windows.first();
        QElapsedTimer clock;
        clock.start();
        middle->close();
        first->close();
        last->close();
        QTRY_VERIFY(!middle && !first && !last);
        QVERIFY(clock.elapsed() < 5000);
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
        QCOMPARE(frame->windowTitle(), QStringLiteral("悦丰选网购助手"));
    }

    void documentMenuListsTheWindows()
    {
        CLumbraWnd* pane = frame->SearchPane();
        pane->RunSearch(0);
        frame->OpenEmptyResults(QStringLiteral("A&B"));
        auto* button = frame->MdiArea()->findChild<QToolButton*>(QStringLiteral("documentMenu"));
        QVERIFY(button);
        QMenu* menu = button->menu();
        emit menu->aboutToShow();
        const QList<QAction*> actions = menu->actions();
        QVERIFY(actions.size() >= 4);
        QCOMPARE(actions.last()->text(), QStringLiteral("窗口(&W)..."));
        QCOMPARE(actions.last()->data().toInt(), 131);
        QCOMPARE(actions[0]->text(), QStringLiteral("自助搜索 - 销量"));
        QCOMPARE(actions[1]->text(), QStringLiteral("A&&B"));
        QVERIFY(actions[1]->isChecked()); // the active window
        actions[0]->trigger();
        QCOMPARE(frame->MdiArea()->activeSubWindow(), frame->ResultsWindows().first());
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void pagesDetachWithoutCloseButton()
    {
        COutlookBar* bar = frame->NavigationBar();
        QDockWidget* floating = bar->DetachPage(1);
        QVERIFY(floating);
        QVERIFY(floating->isFloating());
        QVERIFY(!(floating->features() & QDockWidget::DockWidgetClosable));
        QCOMPARE(floating->widget(), static_cast<QWidget*>(frame->CategoryTree()));
        QCOMPARE(bar->Pages()->count(), 2);
        QCOMPARE(bar->GetTabWnd(1), static_cast<QWidget*>(frame->CategoryTree()));
        // activating the remaining pages still works: the home page is page 2
        const int before = static_cast<int>(frame->ResultsWindows().size());
        bar->SetActivePage(2);
        QCOMPARE(static_cast<int>(frame->ResultsWindows().size()), before + 1);
        bar->SetActivePage(0);
        bar->AttachPage(floating);
        QCOMPARE(bar->Pages()->count(), 3);
        QCOMPARE(bar->Pages()->widget(1), static_cast<QWidget*>(frame->CategoryTree()));
        QCOMPARE(bar->Pages()->itemText(1), QStringLiteral("热卖排行"));
        QCOMPARE(bar->width(), 250);
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void withoutAnnouncementsNoTimer()
    {
        yfx::test::MarketServerProcess faulty({"--fault", "/set/config.jpg=status:404"});
        QVERIFY2(faulty.Started(), faulty.Error().c_str());
        yfx::SetEndpointOverride(yfx::Endpoint::Config, faulty.BaseUrl());
        {
            CMainFrame second;
            QVERIFY(!second.AnnouncementTimer().isActive());
            QVERIFY(second.HostConfiguration().appKey.empty());
            QVERIFY(second.HostConfiguration().sellerNicks.empty());
            second.OnTimer(0);
            QVERIFY(!second.CaptionBar()->isVisibleTo(&second));
            // the category document still came from the server
            QVERIFY(second.CategoryTree()->RootItem()->childCount() > 0);
        }
        yfx::SetEndpointOverride(yfx::Endpoint::Config, "");
        // the first frame is the main window again
        SetMainResultsHost(frame);
        SetMainResultsOpener(frame);
    }

    void panesFitTheBarWithoutScrollingSideways()
    {
        COutlookBar* bar = frame->NavigationBar();
        for (int page : {0, 2}) {
            bar->SetActivePage(page);
            QWidget* w = bar->GetTabWnd(page);
            QScrollArea* area = nullptr;
            for (QWidget* p = w->parentWidget(); p && !area; p = p->parentWidget())
                area = qobject_cast<QScrollArea*>(p);
            QVERIFY(area);
            QTRY_VERIFY(area->isVisible());
            const QString what = QString::number(page);
            QTRY_VERIFY2(!area->horizontalScrollBar()->isVisible(), qPrintable(what));
            QCOMPARE(area->horizontalScrollBar()->value(), 0);
            QVERIFY2(w->width() <= area->viewport()->width(), qPrintable(what));
        }
        // The home page's logos are whole and inside the visible page.
        CHomePageDlg* home = frame->HomePage();
        for (CMyUrlStatic* link : {home->m_linkMarket, home->m_linkMall}) {
            QVERIFY(home->rect().contains(link->geometry()));
            const QRect picture = link->LinkImageRect().translated(link->pos());
            QCOMPARE(picture.size(), QSize(link->m_nBitmapWidth, link->m_nBitmapHeight));
            QVERIFY(home->rect().contains(picture));
            QVERIFY(link->rect().contains(link->LinkImageRect()));
        }
        // Opening the home page opened today's picks; close it again.
        bar->SetActivePage(0);
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void workspaceStateIsClearedAtStart()
    {
        QSettings settings;
        QVERIFY(!settings.childGroups().contains(QStringLiteral("Workspace")));
    }

private:
    CMainFrame* frame = nullptr;
    QStringList reports;
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // a private settings store and picture folder for this run
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    {
        QSettings seeded(home.path() + QStringLiteral("/seed.ini"), QSettings::IniFormat);
        (void)seeded;
    }
    g_server = std::make_unique<yfx::test::MarketServerProcess>();
    std::vector<char*> args(argv, argv + argc);
    static char file[] = "some-file.txt";
    args.push_back(file);
    int count = static_cast<int>(args.size());
    int result = 0;
    {
        // stale workspace state from an earlier run
        CLumbra2App app(count, args.data());
        QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
            .setValue(QStringLiteral("Workspace/geometry"), 1);
        MainFrameTest test;
        // the file name is the program's argument, not the test runner's
        QStringList testArgs{QString::fromLocal8Bit(argv[0])};
        for (int i = 1; i < argc; ++i)
            testArgs.append(QString::fromLocal8Bit(argv[i]));
        result = QTest::qExec(&test, testArgs);
    }
    g_server.reset();
    return result;
}

#include "MainFrameTest.moc"
