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
#include "results/CPriceMemory.h"
#include "results/UrlOpener.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"

#include <QDialogButtonBox>
#include <QDockWidget>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QLabel>
#include <QMessageBox>
#include <QSizeGrip>
#include <QTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMdiArea>
#include <QMenuBar>
#include <QToolButton>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolBox>
#include <QTreeWidget>
#include <algorithm>
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
        // shown at once; the start-up documents come afterwards
        QVERIFY(frame->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!frame->DocumentsPending(), 10000);
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
        QCOMPARE(frame->NavigationBar()->GetTabsNum(), 4);
        const QToolBox* pages = frame->NavigationBar()->Pages();
        QCOMPARE(pages->itemText(0), QStringLiteral("自助搜索"));
        QCOMPARE(pages->itemText(1), QStringLiteral("热卖排行"));
        QCOMPARE(pages->itemText(2), QStringLiteral("悦丰选今日推荐"));
        QCOMPARE(pages->itemText(3), QStringLiteral("我的关注"));
        QVERIFY(!pages->itemIcon(3).isNull());
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
            QTRY_VERIFY(w->View()->Tiles().size() > 0);
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
        QTRY_VERIFY(frame->ResultsWindows().last()->View()->Tiles().size() > 0);
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
        auto picks = [] {
            int n = 0;
            for (const auto& r : g_server->Requests())
                if (r.path == "/itemlist/default.htm" && r.query.count("nick") && r.query.at("nick") == "青禾小货郎")
                    ++n;
            return n;
        };
        QTRY_COMPARE(picks(), 2);
        QTRY_VERIFY(frame->ResultsWindows().last()->View()->Tiles().size() > 0);
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

    void keyboardWalkThroughTheWindow()
    {
        QStringList opened;
        yfx::SetUrlOpener([&opened](const QString& url) { opened.append(url); });
        const auto restore = qScopeGuard([] { yfx::SetUrlOpener({}); });
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        auto key = [](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k), mods);
        };
        auto focus = [] { return QApplication::focusWidget(); };
        CLumbraWnd* pane = frame->SearchPane();

        // Ctrl+F from anywhere, a search with Enter
        frame->NavigationBar()->SetActivePage(1);
        frame->CategoryTree()->setFocus();
        key(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focus(), pane->m_editKeyword);
        QCOMPARE(frame->NavigationBar()->Pages()->currentIndex(), 0);
        pane->m_editKeyword->setText(QStringLiteral("手机"));
        key(Qt::Key_Return);
        CLumbra2View* view = frame->ActiveView();
        QVERIFY(view);
        QTRY_VERIFY(view->Tiles().size() > 6);

        // the new window has the focus, its first item framed once it came; F6 goes to the
        // page and back; the arrows move the focus in grid order
        QCOMPARE(focus(), view);
        QCOMPARE(view->FocusRow(), 0);
        key(Qt::Key_F6);
        QCOMPARE(focus(), pane->m_editKeyword);
        key(Qt::Key_F6);
        QCOMPARE(focus(), view);
        QCOMPARE(view->FocusRow(), 0);
        QVERIFY(view->FocusFrame()->isVisible());
        key(Qt::Key_Right);
        key(Qt::Key_Down);
        QCOMPARE(view->FocusRow(), 4);
        QCOMPARE(view->FocusFrame()->geometry(), view->RowRect(4));
        // Enter opens the item through its click address, as a click on its title does
        key(Qt::Key_Return);
        QTRY_COMPARE(opened.size(), 1);
        // (its click address, else its page: both end in the item's id)
        QVERIFY2(opened[0].endsWith(QLatin1Char('=') + QString::fromStdString(view->ItemAt(4).itemId())),
                 qPrintable(opened[0]));
        // the focus stays on its item through an ordering command
        const std::string item = view->ItemAt(4).itemId();
        view->ShowOrder(1);
        QCOMPARE(view->ItemAt(view->FocusRow()).itemId(), item);
        QCOMPARE(view->FocusFrame()->geometry(), view->RowRect(view->FocusRow()));
        // Shift+F6 back to where the focus was in the page; Ctrl+L from the view
        key(Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(focus(), pane->m_editKeyword);
        QVERIFY(!view->FocusFrame()->isVisible());
        key(Qt::Key_F6);
        QCOMPARE(focus(), view);
        key(Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(focus(), pane->m_editKeyword);

        // Tab goes through the pane's controls, then into the view; Shift+Tab comes back
        int steps = 0;
        while (focus() != view && steps++ < 30) {
            QVERIFY(pane->isAncestorOf(focus()));
            key(Qt::Key_Tab);
        }
        QCOMPARE(focus(), view);
        QVERIFY(steps > 3);
        key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pane->isAncestorOf(focus()));
        key(Qt::Key_Tab);
        QCOMPARE(focus(), view);

        // tabs: Ctrl+Tab and Ctrl+PgDn forward, Ctrl+Shift+Tab and Ctrl+PgUp back, round the ends
        frame->OpenEmptyResults(QStringLiteral("第二"));
        view->setFocus();
        QTabBar* tabs = frame->TabBar();
        const int at = tabs->currentIndex();
        const int n = tabs->count();
        key(Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), (at + 1) % n);
        QCOMPARE(focus(), frame->ActiveView()); // the view of the tab shown takes the focus
        key(Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), (at + 2) % n);
        key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tabs->currentIndex(), (at + 1) % n);
        key(Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), at);

        // Alt+2: the category tree, where Enter opens the ranking of the current node
        key(Qt::Key_2, Qt::AltModifier);
        QCOMPARE(frame->NavigationBar()->Pages()->currentIndex(), 1);
        CTBCatTreeCtrl* tree = frame->CategoryTree();
        QCOMPARE(focus(), tree);
        QTreeWidgetItem* node = tree->RootItem()->child(0);
        tree->setCurrentItem(node);
        key(Qt::Key_Return);
        QCOMPARE(TabTitles(frame).last(), QStringLiteral("热卖排行 - ") + node->text(0) + QStringLiteral(" - 销量"));

        // Alt+3: the home page (today's picks open); Tab reaches each link, Enter opens it
        key(Qt::Key_3, Qt::AltModifier);
        CHomePageDlg* home = frame->HomePage();
        QCOMPARE(focus(), home->m_linkMarket);
        key(Qt::Key_Tab);
        QCOMPARE(focus(), home->m_linkMall);
        key(Qt::Key_Return);
        QCOMPARE(opened.last(), CHomePageDlg::MallChannelUrl());
        key(Qt::Key_1, Qt::AltModifier);
        QCOMPARE(frame->NavigationBar()->Pages()->currentIndex(), 0);
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

    void documentMenuSwitchesAndClearsThePriceMemory()
    {
        CPriceMemory* memory = MainPriceMemory();
        QVERIFY(memory);
        QTRY_VERIFY(memory->Available());
        frame->OpenEmptyResults(QStringLiteral("价格"));
        auto* button = frame->MdiArea()->findChild<QToolButton*>(QStringLiteral("documentMenu"));
        QMenu* menu = button->menu();
        auto action = [menu](const char* name) {
            emit menu->aboutToShow();
            return menu->findChild<QAction*>(QLatin1String(name));
        };
        QAction* off = action("priceRecordingOff");
        QVERIFY(off && off->isEnabled() && !off->isChecked());
        QCOMPARE(off->text(), QStringLiteral("不记录价格"));
        off->trigger();
        QVERIFY(!memory->Recording());
        QCOMPARE(QSettings().value(QStringLiteral("PriceMemory/Recording")).toBool(), false);
        off = action("priceRecordingOff");
        QVERIFY(off->isChecked()); // the menu shows the state of now
        off->trigger();
        QVERIFY(memory->Recording());
        QCOMPARE(QSettings().value(QStringLiteral("PriceMemory/Recording")).toBool(), true);

        // Clearing asks first; only "清除" clears.
        QSignalSpy cleared(memory, &CPriceMemory::cleared);
        QAction* clear = action("clearPriceRecords");
        QCOMPARE(clear->text(), QStringLiteral("清除价格记录…"));
        clear->trigger();
        auto* question = frame->findChild<QMessageBox*>(QStringLiteral("clearPricesQuestion"));
        QVERIFY(question);
        QTRY_VERIFY(question->isVisible());
        question->reject();
        QVERIFY(!cleared.wait(300));
        action("clearPriceRecords")->trigger();
        QTRY_VERIFY((question = frame->findChild<QMessageBox*>(QStringLiteral("clearPricesQuestion"))) &&
                    question->isVisible());
        question->findChild<QPushButton*>(QStringLiteral("clearPrices"))->click();
        QVERIFY(cleared.wait(10000));
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void tabRowOfManyWindows()
    {
        QToolButton* menuButton = frame->DocumentMenuButton();
        QVERIFY(frame->ResultsWindows().isEmpty());
        QVERIFY(!menuButton->isVisible()); // no window, no document menu
        QTabBar* tabs = frame->TabBar();
        QVERIFY(tabs);
        const QString ampersand = QStringLiteral("热卖排行 - 男装&配饰 - 销量");
        for (int i = 0; i < 7; ++i)
            frame->OpenEmptyResults(QStringLiteral("自助搜索 - 销量"));
        QTRY_VERIFY(menuButton->isVisible());
        // Seven tabs: the active tab's "×" is not under the document menu, and a click on it
        // closes that window.
        {
            QWidget* close = tabs->tabButton(tabs->currentIndex(), QTabBar::RightSide);
            QVERIFY(close && close->isVisible());
            const QRect closeRect(close->mapTo(frame, QPoint(0, 0)), close->size());
            const QRect buttonRect(menuButton->mapTo(frame, QPoint(0, 0)), menuButton->size());
            QVERIFY(!closeRect.intersects(buttonRect));
            QPointer<QMdiSubWindow> active = frame->MdiArea()->activeSubWindow();
            QTest::mouseClick(close, Qt::LeftButton);
            QTRY_VERIFY(!active);
            QCOMPARE(frame->ResultsWindows().size(), 6);
        }
        frame->OpenEmptyResults(QStringLiteral("自助搜索 - 销量"));
        frame->OpenEmptyResults(ampersand);
        QCOMPARE(tabs->count(), 8);
        // The row ends where the document menu's own place begins; the scroll arrows lie inside
        // the row and take a click.
        QTRY_VERIFY(tabs->geometry().right() < menuButton->geometry().left());
        QCOMPARE(menuButton->geometry().right(), frame->MdiArea()->width() - 1);
        QList<QToolButton*> arrows;
        for (QToolButton* b : tabs->findChildren<QToolButton*>())
            if (b->isVisible() && b->arrowType() != Qt::NoArrow)
                arrows.append(b);
        QCOMPARE(arrows.size(), 2);
        for (QToolButton* arrow : arrows) {
            const QPoint centre = arrow->mapTo(frame, arrow->rect().center());
            QCOMPARE(frame->childAt(centre), static_cast<QWidget*>(arrow));
        }
        QToolButton* left = arrows[0]->arrowType() == Qt::LeftArrow ? arrows[0] : arrows[1];
        tabs->setCurrentIndex(7);
        QTRY_VERIFY(left->isEnabled());
        const int before = tabs->tabRect(7).x();
        QTest::mouseClick(left, Qt::LeftButton);
        QTRY_VERIFY(tabs->tabRect(7).x() > before);
        // Every tab keeps a useful width, shows its title as it is (an '&' stays an ampersand)
        // and has the whole title as its tooltip.
        for (int i = 0; i < tabs->count(); ++i) {
            QVERIFY2(tabs->tabRect(i).width() >= CMainFrame::kMinTabWidth, qPrintable(QString::number(i)));
            QVERIFY(tabs->tabToolTip(i).contains(QStringLiteral("销量")));
        }
        QCOMPARE(tabs->tabText(7), QStringLiteral("热卖排行 - 男装&&配饰 - 销量"));
        QVERIFY(tabs->tabToolTip(7).contains(QStringLiteral("男装&amp;配饰")));
        // A dragged tab keeps its own title.
        tabs->moveTab(7, 0);
        for (CChildFrame* w : frame->ResultsWindows())
            if (w->windowTitle() == ampersand)
                w->setWindowTitle(QStringLiteral("A&B"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("A&&B"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("自助搜索 - 销量"));

        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
        QTRY_VERIFY(!menuButton->isVisible());
    }

    void keysCloseTheActiveWindow()
    {
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        for (int i = 0; i < 3; ++i)
            frame->OpenEmptyResults(QStringLiteral("窗口 %1").arg(i));
        frame->SearchPane()->m_editKeyword->setFocus(); // typing in the pane, as a user would
        for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_F4), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
            QPointer<QMdiSubWindow> active = frame->MdiArea()->activeSubWindow();
            QVERIFY(active);
            const auto count = frame->ResultsWindows().size();
            QTest::keySequence(frame->windowHandle(), key);
            QTRY_VERIFY2(!active, qPrintable(key.toString()));
            QCOMPARE(frame->ResultsWindows().size(), count - 1);
        }
        // the window menu's "关闭(&C)" does the same
        QAction* close = nullptr;
        for (QAction* a : frame->actions())
            if (a->data().toInt() == CMainFrame::ID_FILE_CLOSE)
                close = a;
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("关闭(&C)"));
        close->trigger();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
        close->trigger(); // nothing left to close
        QVERIFY(frame->ResultsWindows().isEmpty());
    }

    void readyComesBackAfterAMenu()
    {
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("就绪"));
        QVERIFY(!frame->statusBar()->isSizeGripEnabled());
        for (QSizeGrip* grip : frame->findChildren<QSizeGrip*>())
            QVERIFY(!grip->isVisible());
        frame->OpenEmptyResults(QStringLiteral("Lumbra2"));
        QToolButton* menuButton = frame->DocumentMenuButton();
        QTRY_VERIFY(menuButton->isVisible());
        // The pointer passes over the document menu's entries, then the menu closes.
        QString whileOpen;
        bool hovered = false;
        QObject scope; // a menu that never opened leaves no call behind that touches these locals
        QTimer::singleShot(0, &scope, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator())
                    continue;
                QTest::mouseMove(menu, menu->actionGeometry(a).center());
                hovered = hovered || menu->activeAction() == a;
            }
            whileOpen = frame->statusBar()->currentMessage();
            menu->close();
        });
        QTest::mouseClick(menuButton, Qt::LeftButton); // returns when the menu has closed
        QVERIFY(hovered);
        QCOMPARE(whileOpen, QStringLiteral("就绪"));
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("就绪"));
        // Any message pane text that is cleared gives way to the idle text again.
        frame->statusBar()->showMessage(QStringLiteral("正在读取"));
        frame->statusBar()->clearMessage();
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("就绪"));
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void captionNamesTheProgramOnce()
    {
        // The window system adds an application display name to every caption that does not
        // end with it; the caption starts with the name already, so none may be set. A name
        // that was set would not follow a change of the application name.
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("probe"));
        const QString display = QGuiApplication::applicationDisplayName();
        QCoreApplication::setApplicationName(name);
        QCOMPARE(display, QStringLiteral("probe"));
        frame->OpenEmptyResults(QStringLiteral("自助搜索 - 销量"));
        QCOMPARE(frame->windowTitle(), QStringLiteral("悦丰选网购助手 - 自助搜索 - 销量"));
        QCOMPARE(frame->windowTitle().count(QStringLiteral("悦丰选网购助手")), 1);
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void disabledEntriesLookDisabled()
    {
        const QPalette pal = QApplication::palette();
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            QVERIFY(pal.color(QPalette::Disabled, role) != pal.color(QPalette::Active, role));
        // The results view's menu: the entry of the order shown now is disabled.
        frame->SearchPane()->RunSearch(0);
        CLumbra2View* view = frame->ResultsWindows().last()->View();
        QTRY_VERIFY(!view->Tiles().empty());
        std::unique_ptr<QMenu> menu(view->CreateContextMenu());
        QVERIFY(menu);
        menu->popup(frame->mapToGlobal(QPoint(400, 300)));
        QTRY_VERIFY(menu->isVisible());
        const QImage shot = menu->grab().toImage();
        auto darkest = [&shot, &menu](QAction* a) {
            int least = 255 * 3;
            const QRect r = menu->actionGeometry(a).intersected(shot.rect());
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    least = std::min(least, c.red() + c.green() + c.blue());
                }
            return least;
        };
        QAction* enabled = nullptr;
        QAction* disabled = nullptr;
        for (QAction* a : menu->actions())
            (a->isEnabled() ? enabled : disabled) = a;
        QVERIFY(enabled && disabled);
        QCOMPARE(disabled->text(), QStringLiteral("按销量排序"));
        // the disabled entry's text is clearly lighter than the enabled one's
        QVERIFY2(darkest(disabled) > darkest(enabled) + 150,
                 qPrintable(QStringLiteral("%1 / %2").arg(darkest(disabled)).arg(darkest(enabled))));
        menu->close();
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void longAnnouncementIsElidedWithTheWholeTextAsTooltip()
    {
        CAnnouncementBar* bar = frame->CaptionBar();
        QString text;
        for (int i = 0; i < 30; ++i)
            text += QStringLiteral("全场满%1元包邮，").arg(i + 1);
        text += QStringLiteral("<b>活动&规则</b>");
        bar->show();
        bar->SetText(text);
        QCOMPARE(bar->Text(), text);
        const QString shown = bar->ShownText();
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QVERIFY(text.startsWith(shown.chopped(1)));
        QLabel* label = nullptr;
        for (QLabel* l : bar->findChildren<QLabel*>())
            if (l->text() == shown)
                label = l;
        QVERIFY(label);
        QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
        QVERIFY(bar->geometry().right() <= frame->centralWidget()->width());
        QVERIFY(bar->toolTip().contains(QStringLiteral("活动&amp;规则")));
        QVERIFY(bar->toolTip().contains(QStringLiteral("&lt;b&gt;")));
        // a short one shows whole
        bar->SetText(QStringLiteral("新品上架"));
        QCOMPARE(bar->ShownText(), QStringLiteral("新品上架"));
        bar->hide();
    }

    void qtOwnTextsAreChinese()
    {
        auto* app = static_cast<CLumbra2App*>(qApp);
        QVERIFY2(app->QtTranslator(), "qtbase_zh_CN.qm (qt6-translations-l10n) was not loaded");
        QCOMPARE(QLocale().language(), QLocale::Chinese);
        // standard buttons: the message box's OK, the window list's Close
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
        QDialogButtonBox buttons(QDialogButtonBox::Close);
        QCOMPARE(buttons.button(QDialogButtonBox::Close)->text(), QStringLiteral("关闭"));
        // the edits' context menu
        std::unique_ptr<QMenu> editMenu(frame->SearchPane()->m_editKeyword->createStandardContextMenu());
        QStringList texts;
        for (QAction* a : editMenu->actions())
            texts << a->text();
        QVERIFY2(texts.join(QLatin1Char(' ')).contains(QStringLiteral("粘贴")), qPrintable(texts.join(QLatin1Char(' '))));
        for (const QString& t : texts)
            QVERIFY2(!t.contains(QStringLiteral("Paste")) && !t.contains(QStringLiteral("Select All")), qPrintable(t));
        // the scroll bar's menu and the file dialog
        QCOMPARE(QCoreApplication::translate("QScrollBar", "Scroll here"), QStringLiteral("滚动至此"));
        QFileDialog dialog(frame);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(dialog.labelText(QFileDialog::Accept), QStringLiteral("打开(&O)"));
        QCOMPARE(dialog.labelText(QFileDialog::Reject), QStringLiteral("取消"));
        // the file dialog's type column, which Qt's catalogue lacks
        QCOMPARE(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));
    }

    void pagesDetachWithoutCloseButton()
    {
        COutlookBar* bar = frame->NavigationBar();
        QDockWidget* floating = bar->DetachPage(1);
        QVERIFY(floating);
        QVERIFY(floating->isFloating());
        QVERIFY(!(floating->features() & QDockWidget::DockWidgetClosable));
        QCOMPARE(floating->widget(), static_cast<QWidget*>(frame->CategoryTree()));
        QCOMPARE(bar->Pages()->count(), 3);
        QCOMPARE(bar->GetTabWnd(1), static_cast<QWidget*>(frame->CategoryTree()));
        // activating the remaining pages still works: the home page is page 2
        const int before = static_cast<int>(frame->ResultsWindows().size());
        bar->SetActivePage(2);
        QCOMPARE(static_cast<int>(frame->ResultsWindows().size()), before + 1);
        bar->SetActivePage(0);
        bar->AttachPage(floating);
        QCOMPARE(bar->Pages()->count(), 4);
        QCOMPARE(bar->Pages()->widget(1), static_cast<QWidget*>(frame->CategoryTree()));
        QCOMPARE(bar->Pages()->itemText(1), QStringLiteral("热卖排行"));
        QCOMPARE(bar->width(), 250);
        for (CChildFrame* w : frame->ResultsWindows())
            w->close();
        QTRY_VERIFY(frame->ResultsWindows().isEmpty());
    }

    void lateConfigurationIsAppliedWhenItComes()
    {
        yfx::test::MarketServerProcess slow({"--fault", "/set/config.jpg=delay:1500"});
        QVERIFY2(slow.Started(), slow.Error().c_str());
        yfx::SetEndpointOverride(yfx::Endpoint::Config, slow.BaseUrl());
        {
            CMainFrame second;
            QSignalSpy ready(&second, &CMainFrame::documentsReady);
            QVERIFY(second.DocumentsPending());
            // the category tree fills in on its own; the configuration is still on the way
            QTRY_VERIFY(second.CategoryTree()->RootItem()->childCount() > 0);
            QVERIFY(second.DocumentsPending());
            QVERIFY(second.HostConfiguration().sellerNicks.empty());
            QVERIFY(!second.AnnouncementTimer().isActive());
            QVERIFY(ready.wait(10000));
            QCOMPARE(ready.count(), 1);
            // applied when it came: members, and the announcement timer
            QCOMPARE(second.HostConfiguration().sellerNicks.size(), size_t(3));
            QCOMPARE(second.HostConfiguration().announcements.size(), size_t(3));
            QVERIFY(second.AnnouncementTimer().isActive());
        }
        yfx::SetEndpointOverride(yfx::Endpoint::Config, "");
        SetMainResultsHost(frame);
        SetMainResultsOpener(frame);
    }

    void withoutAnnouncementsNoTimer()
    {
        yfx::test::MarketServerProcess faulty({"--fault", "/set/config.jpg=status:404"});
        QVERIFY2(faulty.Started(), faulty.Error().c_str());
        yfx::SetEndpointOverride(yfx::Endpoint::Config, faulty.BaseUrl());
        {
            CMainFrame second;
            QTRY_VERIFY(!second.DocumentsPending());
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

    void openPlatformSourceSearchesForEveryPane()
    {
        // A configuration document that selects the open platform's material search.
        yfx::test::MarketServerProcess material({"--search", "material"});
        QVERIFY2(material.Started(), material.Error().c_str());
        yfx::SetEndpointOverride(yfx::Endpoint::Config, material.BaseUrl());
        yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, material.BaseUrl());
        yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, material.BaseUrl());
        struct Restore { // also when a check fails: the first frame is the main window again
            CMainFrame* frame;
            ~Restore()
            {
                for (auto which : {yfx::Endpoint::Config, yfx::Endpoint::OpenGateway, yfx::Endpoint::ListSearch})
                    yfx::SetEndpointOverride(which, "");
                SetMainResultsHost(frame);
                SetMainResultsOpener(frame);
            }
        } restore{frame};
        {
            CMainFrame second;
            QTRY_VERIFY(!second.DocumentsPending());
            QCOMPARE(second.HostConfiguration().source, ResultSource::OpenPlatform);
            SetMainResultsHost(&second);
            SetMainResultsOpener(&second);
            // the search pane, a category's ranking and today's picks
            second.SearchPane()->m_editKeyword->setText(QStringLiteral("手机"));
            second.SearchPane()->RunSearch(0);
            CTBCatTreeCtrl* tree = second.CategoryTree();
            QTreeWidgetItem* leaf = tree->RootItem()->child(0)->child(0);
            tree->setCurrentItem(leaf);
            tree->OnQueryCategory();
            second.NavigationBar()->SetActivePage(2);
            const QList<CChildFrame*> windows = second.ResultsWindows();
            QCOMPARE(windows.size(), 3);
            for (CChildFrame* w : windows) {
                QTRY_VERIFY_WITH_TIMEOUT(!w->View()->IsLoading(), 20000);
                QCOMPARE(w->View()->Source(), ResultSource::OpenPlatform);
                QVERIFY2(!w->View()->Tiles().empty(), qPrintable(w->windowTitle()));
                for (const CTBRecord& r : w->View()->Records())
                    QCOMPARE(r.source, ResultSource::OpenPlatform);
            }
            // today's picks keep the shop of that name only
            for (const CTBRecord& r : windows[2]->View()->Records())
                QCOMPARE(r.nick(), yfx::Utf8ToGbk("青禾小货郎"));
            // each asked the material search for its own query; nothing went to the list search
            std::vector<std::map<std::string, std::string>> searches;
            for (const auto& r : material.Requests())
                if (r.path == "/router/rest" && r.query.count("method") &&
                    r.query.at("method") == "taobao.tbk.dg.material.optional.upgrade")
                    searches.push_back(r.query);
            QCOMPARE(searches.size(), size_t(3)); // in the order they reached the server
            auto asked = [&searches](const std::string& name, const std::string& value) {
                return std::count_if(searches.begin(), searches.end(), [&](const auto& q) {
                    return q.count(name) && q.at(name) == value;
                });
            };
            QCOMPARE(asked("q", "手机"), 1);
            QCOMPARE(asked("cat", tree->NodeData(leaf)->cat), 1);
            QCOMPARE(asked("q", "青禾小货郎"), 1);
            for (const auto& r : material.Requests())
                QVERIFY(r.path != "/itemlist/default.htm" && r.path.rfind("/market/", 0) != 0);
        }
        QVERIFY(reports.isEmpty());
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
    // a private settings store, cache and picture folder for this run
    yfx::test::PrivateFolders home;
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
