// The main frame as an installed program meets it: the documents kept from the last run, a
// configuration server that stalls or is gone, a search made before any configuration is
// known, the user's and the system's config.json, the first-run text and its links, the
// settings dialog (no keyring answers in this process: its session bus leads nowhere), and what
// the frame remembers across runs. Offscreen, against the bundled marketplace server.
#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "app/CMainFrame.h"
#include "app/COutlookBar.h"
#include "app/CSecretStore.h"
#include "app/CSettingsDialog.h"
#include "results/OpenPlatformSettings.h"
#include "market/Configuration.h"
#include "market/Endpoints.h"
#include "market/HttpClient.h"
#include "market/LocalConfiguration.h"
#include "panes/CLumbraWnd.h"
#include "panes/CTBCatTreeCtrl.h"
#include "results/CLumbra2View.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QTabBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBox>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

using yfx::test::MarketServerProcess;

namespace {

constexpr int kWaitMs = 20000;
const char* const kKey = "12345678";
const char* const kSecret = "yfx-local-secret";
const char* const kPid = "mm_10000001_2000002_30000003";

std::unique_ptr<yfx::test::PrivateFolders> g_folders;

std::string Contents(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

unsigned Mode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777u : 0;
}

std::string CachePath(const char* name)
{
    return g_folders->CacheHome() + "/yuefengxuan/" + name;
}

int Count(const MarketServerProcess& server, const std::string& path, const std::string& method = {})
{
    int n = 0;
    for (const auto& r : server.Requests())
        n += r.path == path && (method.empty() || (r.query.count("method") && r.query.at("method") == method));
    return n;
}

// A search typed into the pane; the new results window's view.
CLumbra2View* Search(CMainFrame& frame, const QString& keyword)
{
    frame.SearchPane()->m_editKeyword->setText(keyword);
    frame.SearchPane()->OnSearchBySales();
    return frame.ResultsWindows().isEmpty() ? nullptr : frame.ResultsWindows().last()->View();
}

// The view's answer: true when it showed tiles.
bool Finished(CLumbra2View* view)
{
    if (!view)
        return false;
    QSignalSpy finished(view, &CLumbra2View::loadFinished);
    if (view->IsLoading() && !finished.wait(kWaitMs))
        return false;
    return !view->Tiles().empty();
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithWhatItKept_data();
    void startsWithWhatItKept();
    void searchBeforeTheConfigurationArrives();
    void freshDocumentsReplaceTheKeptOnes();
    void localFilesComeFirst();
    void badLocalFilesAreNamedInTheStatusBar();
    void firstRunTextAndItsLinks();
    void settingsOpenFromTheTabRowAndTheKeys();
    void testConnection_data();
    void testConnection();
    void withoutAKeyringTheSecretGoesToTheFileOnlyWhenAsked();
    void choosingAConfigurationServerOrTheDemo();
    void rememberedAcrossRuns();

private:
    // Fetches a document of the plain server as it serves it.
    std::string DocumentOf(const std::string& path) const;
    void Keep(const char* name, const std::string& url, const std::string& text) const;

    std::unique_ptr<MarketServerProcess> m_plain;    // list search, gateway, documents
    std::unique_ptr<MarketServerProcess> m_stalling; // both documents stall
};

void StartupTest::initTestCase()
{
    m_plain = std::make_unique<MarketServerProcess>();
    QVERIFY2(m_plain->Started(), m_plain->Error().c_str());
    m_stalling = std::make_unique<MarketServerProcess>(std::vector<std::string>{"--fault", "/set/*=stall"});
    QVERIFY2(m_stalling->Started(), m_stalling->Error().c_str());
}

void StartupTest::init()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_folders->ConfigHome() + "/yuefengxuan", ignored);
    std::filesystem::remove_all(g_folders->SystemConfig() + "/yuefengxuan", ignored);
    std::filesystem::remove_all(g_folders->CacheHome() + "/yuefengxuan", ignored);
    QSettings().clear();
    yfx::SetEndpointServer(std::string());
    for (int e = 0; e <= static_cast<int>(yfx::Endpoint::OpenGateway); ++e)
        yfx::SetEndpointOverride(static_cast<yfx::Endpoint>(e), std::string());
    // the searches and the gateway at the plain server; the configuration server per test
    yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, m_plain->BaseUrl());
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, m_plain->BaseUrl());
}

void StartupTest::cleanup()
{
    yfx::SetEndpointServer(std::string());
}

std::string StartupTest::DocumentOf(const std::string& path) const
{
    std::string text;
    HttpGetText(m_plain->BaseUrl() + path, text);
    return text;
}

void StartupTest::Keep(const char* name, const std::string& url, const std::string& text) const
{
    Write(CachePath(name), url + "\n" + text);
    std::filesystem::permissions(CachePath(name), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

void StartupTest::startsWithWhatItKept_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("kept");
    QTest::newRow("stalled, documents kept") << QStringLiteral("stalled") << true;
    QTest::newRow("stalled, nothing kept") << QStringLiteral("stalled") << false;
    QTest::newRow("gone, documents kept") << QStringLiteral("gone") << true;
    QTest::newRow("gone, nothing kept") << QStringLiteral("gone") << false;
}

void StartupTest::startsWithWhatItKept()
{
    QFETCH(QString, server);
    QFETCH(bool, kept);
    const std::string base = server == QStringLiteral("stalled") ? m_stalling->BaseUrl() : "http://127.0.0.1:1";
    yfx::SetEndpointOverride(yfx::Endpoint::Config, base);
    if (kept) {
        Keep(kCachedConfigDocument, base + "/set/config.jpg", DocumentOf("/set/config.jpg"));
        Keep(kCachedCategoryDocument, base + "/set/tbcat.jpg", DocumentOf("/set/tbcat.jpg"));
    }
    CMainFrame frame;
    frame.show();
    const Configuration& cfg = frame.HostConfiguration();
    if (kept) {
        // everything kept is there before the window shows, whatever the server does
        QVERIFY(!frame.ConfigurationPending());
        QCOMPARE(cfg.sellerNicks.size(), size_t(3));
        QCOMPARE(cfg.announcements.size(), size_t(3));
        QVERIFY(frame.AnnouncementTimer().isActive());
        QVERIFY(frame.CategoryTree()->RootItem()->childCount() > 0);
    } else if (server == QStringLiteral("stalled")) {
        QVERIFY(frame.ConfigurationPending());
    } else {
        QSignalSpy known(&frame, &CMainFrame::configurationKnown);
        QVERIFY(!frame.ConfigurationPending() || known.wait(kWaitMs)); // refused at once
    }
    QVERIFY(!frame.NoSourceConfigured()); // a server was named: its failure is not a first run

    const int listSearches = Count(*m_plain, "/itemlist/default.htm");
    CLumbra2View* view = Search(frame, QStringLiteral("手机"));
    QVERIFY(view);
    if (!kept && server == QStringLiteral("stalled")) {
        // the search waits for the configuration; it never searches unfiltered meanwhile
        QVERIFY(view->IsLoading());
        QCOMPARE(view->StatusText(), QStringLiteral("正在搜索…"));
        QSignalSpy finished(view, &CLumbra2View::loadFinished);
        QVERIFY(!finished.wait(500));
        QCOMPARE(Count(*m_plain, "/itemlist/default.htm"), listSearches);
        return;
    }
    QVERIFY(Finished(view));
    for (const CTBRecord& r : view->Records())
        QVERIFY(!r.nick().empty() && !cfg.sellerNicks.count(r.nick()));
    if (kept) // the seller filter of the kept document was applied
        QVERIFY(!cfg.sellerNicks.empty());
    else
        QVERIFY(cfg.sellerNicks.empty() && cfg.appKey.empty());
}

void StartupTest::searchBeforeTheConfigurationArrives()
{
    // a first start: no document kept, the configuration (selecting the open platform) comes late
    MarketServerProcess material({"--search", "material", "--fault", "/set/config.jpg=delay:1500"});
    QVERIFY2(material.Started(), material.Error().c_str());
    yfx::SetEndpointOverride(yfx::Endpoint::Config, material.BaseUrl());
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, material.BaseUrl());
    const int listSearches = Count(*m_plain, "/itemlist/default.htm");
    CMainFrame frame;
    QVERIFY(frame.ConfigurationPending());
    QSignalSpy known(&frame, &CMainFrame::configurationKnown);
    CLumbra2View* view = Search(frame, QStringLiteral("手机"));
    QVERIFY(view->IsLoading());
    QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("正在搜索…"));
    QVERIFY(Finished(view));
    QCOMPARE(known.count(), 1);
    // the source and the seller filter the configuration named, never the list search
    QCOMPARE(view->Source(), ResultSource::OpenPlatform);
    QCOMPARE(Count(material, "/router/rest", "taobao.tbk.dg.material.optional.upgrade"), 1);
    QCOMPARE(Count(*m_plain, "/itemlist/default.htm"), listSearches);
    const auto& nicks = frame.HostConfiguration().sellerNicks;
    QVERIFY(!nicks.empty());
    for (const CTBRecord& r : view->Records())
        QVERIFY(!nicks.count(r.nick()));
    // what came is kept for the next start, readable by the user only
    QTRY_VERIFY(Mode(CachePath(kCachedConfigDocument)) == 0600u);
    QVERIFY(Contents(CachePath(kCachedConfigDocument)).starts_with(material.BaseUrl() + "/set/config.jpg\n"));
}

void StartupTest::freshDocumentsReplaceTheKeptOnes()
{
    MarketServerProcess slow({"--fault", "/set/*=delay:1000"});
    QVERIFY2(slow.Started(), slow.Error().c_str());
    yfx::SetEndpointOverride(yfx::Endpoint::Config, slow.BaseUrl());
    // kept: an older configuration with one announcement; the same tree as the server's
    Keep(kCachedConfigDocument, slow.BaseUrl() + "/set/config.jpg",
         "{\"appkey\":\"old\",\"affiches\":[{\"affiche\":\"old\"}]}");
    Keep(kCachedCategoryDocument, slow.BaseUrl() + "/set/tbcat.jpg", DocumentOf("/set/tbcat.jpg"));
    CMainFrame frame;
    QCOMPARE(frame.HostConfiguration().appKey, std::string("old"));
    CTBCatTreeCtrl* tree = frame.CategoryTree();
    QTreeWidgetItem* root = tree->RootItem();
    QVERIFY(root->childCount() > 1);
    // the user opens a branch and selects a node before the fresh tree comes
    root->child(1)->setExpanded(true);
    const QString selected = root->child(1)->child(0)->text(0);
    tree->setCurrentItem(root->child(1)->child(0));
    QSignalSpy arrived(tree, &CTBCatTreeCtrl::documentArrived);
    QVERIFY(arrived.wait(kWaitMs));
    QCOMPARE(arrived.at(0).at(0).toBool(), true);
    root = tree->RootItem();
    QVERIFY(root->child(1)->isExpanded());
    QCOMPARE(tree->currentItem(), root->child(1)->child(0));
    QCOMPARE(tree->currentItem()->text(0), selected);
    // the fresh configuration replaces the kept one, announcements and all
    QTRY_COMPARE_WITH_TIMEOUT(frame.HostConfiguration().appKey, std::string(kKey), kWaitMs);
    QCOMPARE(frame.HostConfiguration().announcements.size(), size_t(3));
    QTRY_VERIFY(Contents(CachePath(kCachedConfigDocument)).find("old") == std::string::npos);
    QCOMPARE(Mode(CachePath(kCachedCategoryDocument)), 0600u);
    QTRY_COMPARE(Mode(g_folders->CacheHome() + "/yuefengxuan"), 0700u); // (made private after the write)

    // documents kept of another server are not used
    MarketServerProcess other({"--fault", "/set/*=stall"});
    QVERIFY2(other.Started(), other.Error().c_str());
    yfx::SetEndpointOverride(yfx::Endpoint::Config, other.BaseUrl());
    CMainFrame second;
    QVERIFY(second.ConfigurationPending());
    QVERIFY(second.HostConfiguration().appKey.empty());
    QCOMPARE(second.CategoryTree()->RootItem()->childCount(), 0);
}

void StartupTest::localFilesComeFirst()
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, m_plain->BaseUrl());
    // the user's own application; the administrator's seller list; the server's announcements
    Write(g_folders->UserConfigFile(), std::string("{\"appkey\":\"") + kKey + "\",\"secret\":\"" + kSecret +
                                           "\",\"pid\":\"" + kPid + "\",\"search\":\"material\"}");
    Write(g_folders->SystemConfigFile(), "{\"nicks\":[{\"nick\":\"系统\"}],\"pid\":\"mm_1_1_1\"}");
    CMainFrame frame;
    QSignalSpy known(&frame, &CMainFrame::configurationKnown);
    QVERIFY(!frame.ConfigurationPending() || known.wait(kWaitMs));
    const Configuration& cfg = frame.HostConfiguration();
    QCOMPARE(cfg.appKey, std::string(kKey));
    QCOMPARE(cfg.appSecret, std::string(kSecret));
    QCOMPARE(cfg.pid, std::string(kPid));
    QCOMPARE(cfg.source, ResultSource::OpenPlatform);
    QCOMPARE(cfg.sellerNicks.size(), size_t(1));
    QCOMPARE(cfg.announcements.size(), size_t(3));
    QVERIFY(frame.LocalConfigurationProblems().isEmpty());
    CLumbra2View* view = Search(frame, QStringLiteral("手机"));
    QVERIFY(Finished(view));
    QCOMPARE(view->Source(), ResultSource::OpenPlatform);
}

void StartupTest::badLocalFilesAreNamedInTheStatusBar()
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, m_plain->BaseUrl());
    Write(g_folders->UserConfigFile(), "{\"appkey\": \"k\",");
    Write(g_folders->SystemConfigFile(), "{\"appkey\": true, \"pid\": \"mm_1_2_3\"}");
    CMainFrame frame;
    const QString message = frame.statusBar()->currentMessage();
    QCOMPARE(message, frame.LocalConfigurationProblems());
    QVERIFY2(message.contains(QString::fromStdString(g_folders->UserConfigFile())), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("不是 JSON")), qPrintable(message));
    QVERIFY2(message.contains(QString::fromStdString(g_folders->SystemConfigFile()) + QStringLiteral(" 中类型不对的项：appkey")),
             qPrintable(message));
    // the rest of the system's file, and the server's document, still count
    QCOMPARE(frame.HostConfiguration().pid, std::string("mm_1_2_3"));
    QTRY_COMPARE_WITH_TIMEOUT(frame.HostConfiguration().appKey, std::string(kKey), kWaitMs);
}

void StartupTest::firstRunTextAndItsLinks()
{
    // no server named anywhere, nothing kept, no file: the configuration server has no public host
    yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, std::string());
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, std::string());
    CMainFrame frame;
    frame.SetDemoServerProgram(QString::fromStdString(MarketServerProcess::BinaryPath()));
    frame.show();
    QSignalSpy known(&frame, &CMainFrame::configurationKnown);
    QVERIFY(!frame.ConfigurationPending() || known.wait(kWaitMs));
    QVERIFY(frame.NoSourceConfigured());
    CLumbra2View* view = Search(frame, QStringLiteral("手机"));
    QVERIFY(view->ShowsFirstRun());
    QLabel* links = view->FirstRunLinks();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));

    // "设置淘宝开放平台账号…": the settings, at the account
    QTest::mouseClick(links, Qt::LeftButton, {}, QPoint(4, links->height() / 2));
    CSettingsDialog* dialog = frame.SettingsDialog();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog->isVisible());
    QVERIFY(dialog->m_radioPlatform->isChecked());
    QCOMPARE(dialog->PageList()->currentRow(), 0);
    QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(dialog->m_editAppKey));
    dialog->reject();
    QTRY_VERIFY(!frame.SettingsDialog());
    QVERIFY(view->ShowsFirstRun());

    // "使用演示数据": the bundled server for this run, and the same search again
    QTest::mouseClick(links, Qt::LeftButton, {}, QPoint(links->width() - 4, links->height() / 2));
    QVERIFY(view->IsLoading());
    QVERIFY2(Finished(view), qPrintable(view->StatusText() + frame.statusBar()->currentMessage()));
    QVERIFY(frame.DemoRunning());
    QVERIFY(!frame.NoSourceConfigured());
    QCOMPARE(view->Source(), ResultSource::ListSearch);
    QCOMPARE(frame.HostConfiguration().sellerNicks.size(), size_t(3)); // the demo server's document
    // for this run only: nothing written, nothing kept
    QVERIFY(!std::filesystem::exists(g_folders->UserConfigFile()));
    QVERIFY(!std::filesystem::exists(CachePath(kCachedConfigDocument)));
}

void StartupTest::settingsOpenFromTheTabRowAndTheKeys()
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, m_plain->BaseUrl());
    CMainFrame frame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    QToolButton* button = frame.SettingsButton();
    // at the top right, where it is looked for, also without any results window
    QVERIFY(button->isVisible());
    QCOMPARE(button->text(), QStringLiteral("首选项"));
    QCOMPARE(button->geometry().right(), frame.MdiArea()->width() - 1);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(frame.SettingsDialog() && frame.SettingsDialog()->isVisible());
    CSettingsDialog* dialog = frame.SettingsDialog();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("首选项"));
    QCOMPARE(dialog->PageCount(), 4);
    QCOMPARE(dialog->PageList()->item(0)->text(), QStringLiteral("数据源"));
    QCOMPARE(dialog->PageList()->item(1)->text(), QStringLiteral("搜索记录"));
    QCOMPARE(dialog->PageList()->item(2)->text(), QStringLiteral("价格记录"));
    QCOMPARE(dialog->PageList()->item(3)->text(), QStringLiteral("降价提醒"));
    // another part of the program adds its page
    auto* page = new QLabel(QStringLiteral("其他"));
    QCOMPARE(dialog->AddPage(QStringLiteral("其他"), page), 4);
    dialog->ShowPage(4);
    QVERIFY(page->isVisible());
    // "清除搜索记录" empties the pane's history
    frame.SearchPane()->SetKeywordHistory({QStringLiteral("手机")});
    dialog->ShowPage(1);
    QTest::mouseClick(dialog->m_btnClearHistory, Qt::LeftButton);
    QVERIFY(frame.SearchPane()->KeywordHistory().isEmpty());
    dialog->reject();
    QTRY_VERIFY(!frame.SettingsDialog());

    // Ctrl+, (and the desktop's Preferences key) from anywhere in the window
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    frame.SearchPane()->m_editKeyword->setFocus();
    QTest::keySequence(frame.windowHandle(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    QTRY_VERIFY(frame.SettingsDialog() && frame.SettingsDialog()->isVisible());
    frame.SettingsDialog()->reject();
    QTRY_VERIFY(!frame.SettingsDialog());

    // with results windows the button sits between the tabs and the document menu
    frame.OpenEmptyResults(QStringLiteral("Lumbra2 1"));
    QTRY_VERIFY(frame.DocumentMenuButton()->isVisible());
    QCOMPARE(button->geometry().right() + 1, frame.DocumentMenuButton()->geometry().left());
    QVERIFY(frame.TabBar()->geometry().right() < button->geometry().left());
}

void StartupTest::testConnection_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("pid");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("says");
    const QString good = QString::fromLatin1(kPid);
    QTest::newRow("the platform answers") << "platform" << kSecret << good << "plain" << true << "连接成功";
    QTest::newRow("a wrong secret") << "platform" << "wrong" << good << "plain" << false
                                    << "开放平台拒绝了请求：Invalid signature";
    QTest::newRow("no gateway") << "platform" << kSecret << good << "gone" << false << "无法连接服务器";
    QTest::newRow("no affiliate id") << "platform" << kSecret << "12345" << "plain" << false << "PID 应当形如";
    QTest::newRow("a configuration server") << "server" << "" << "" << "plain" << true << "连接成功";
    QTest::newRow("no configuration server") << "server" << "" << "" << "gone" << false << "无法连接服务器";
}

void StartupTest::testConnection()
{
    QFETCH(QString, choice);
    QFETCH(QString, secret);
    QFETCH(QString, pid);
    QFETCH(QString, gateway);
    QFETCH(bool, ok);
    QFETCH(QString, says);
    const QString server = gateway == QStringLiteral("plain") ? QString::fromStdString(m_plain->BaseUrl())
                                                               : QStringLiteral("http://127.0.0.1:1");
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, server.toStdString());
    DataSourceSettings values;
    CSettingsDialog dialog(values, g_folders->UserConfigFile());
    (choice == QStringLiteral("server") ? dialog.m_radioServer : dialog.m_radioPlatform)->setChecked(true);
    dialog.m_editAppKey->setText(QString::fromLatin1(kKey));
    dialog.m_editAppSecret->setText(secret);
    dialog.m_editPid->setText(pid);
    dialog.m_editServer->setText(server);
    QSignalSpy finished(&dialog, &CSettingsDialog::testFinished);
    const int searches = Count(*m_plain, "/router/rest", "taobao.tbk.dg.material.optional.upgrade");
    QTest::mouseClick(dialog.m_btnTest, Qt::LeftButton);
    QVERIFY(finished.count() == 1 || finished.wait(kWaitMs));
    QCOMPARE(finished.at(0).at(0).toBool(), ok);
    QVERIFY2(dialog.m_labelTest->text().startsWith(says), qPrintable(dialog.m_labelTest->text()));
    // one material search for "手机", signed with what was typed
    if (choice == QStringLiteral("platform") && gateway == QStringLiteral("plain") && pid == QString::fromLatin1(kPid)) {
        const auto requests = m_plain->Requests();
        QCOMPARE(Count(*m_plain, "/router/rest", "taobao.tbk.dg.material.optional.upgrade"), searches + 1);
        QCOMPARE(requests.back().query.at("app_key"), std::string(kKey));
    }
    // the demo has nothing to test
    dialog.m_radioDemo->setChecked(true);
    QVERIFY(!dialog.m_btnTest->isEnabled());
}

void StartupTest::withoutAKeyringTheSecretGoesToTheFileOnlyWhenAsked()
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, m_stalling->BaseUrl());
    CMainFrame frame;
    CSettingsDialog* dialog = frame.OpenSettings();
    QVERIFY(dialog);
    dialog->m_radioPlatform->setChecked(true);
    dialog->m_editAppKey->setText(QString::fromLatin1(kKey));
    dialog->m_editAppSecret->setText(QString::fromLatin1(kSecret));
    dialog->m_editPid->setText(QString::fromLatin1(kPid));
    dialog->m_comboSignMethod->setCurrentIndex(1);
    QVERIFY(!dialog->m_checkSecretInFile->isChecked());
    QSignalSpy failed(dialog, &CSettingsDialog::saveFailed);
    QSignalSpy saved(dialog, &CSettingsDialog::dataSourceSaved);
    // the buyer's address for exact postage: an address or nothing, never anything else
    QSettings().remove(yfx::kBuyerIpKey);
    dialog->m_editBuyerIp->setText(QStringLiteral("my-home"));
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(failed.count(), 1);
    QVERIFY(dialog->m_labelSave->text().contains(QStringLiteral("买家 IP")));
    QVERIFY(!QSettings().contains(yfx::kBuyerIpKey));
    dialog->m_editBuyerIp->setText(QStringLiteral(" 2001:DB8::1 "));
    failed.clear();
    // no keyring answers: the dialog says so, stays open and writes nothing
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(yfx::BuyerIpSetting(), std::string("2001:db8::1"));
    QVERIFY(failed.count() == 1 || failed.wait(CSecretStore::kTimeoutMs + kWaitMs));
    QVERIFY2(dialog->m_labelSecret->text().contains(QStringLiteral("系统钥匙环不可用")),
             qPrintable(dialog->m_labelSecret->text()));
    QVERIFY(dialog->isVisible());
    QCOMPARE(saved.count(), 0);
    QVERIFY(!std::filesystem::exists(g_folders->UserConfigFile()));
    // kept in config.json when the user says so: readable by the user only
    dialog->m_checkSecretInFile->setChecked(true);
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QVERIFY(saved.count() == 1 || saved.wait(kWaitMs));
    QTRY_VERIFY(!frame.SettingsDialog());
    QCOMPARE(Mode(g_folders->UserConfigFile()), 0600u);
    LocalConfigFile file;
    QCOMPARE(ReadLocalConfigFile(g_folders->UserConfigFile(), file).kind, LocalConfigProblem::Kind::None);
    QCOMPARE(file.dataSource, DataSource::OpenPlatform);
    QCOMPARE(file.members.appSecret.value_or(""), std::string(kSecret));
    QCOMPARE(file.members.source.value_or(ResultSource::ListSearch), ResultSource::OpenPlatform);
    // applied at once, without a restart, and never kept anywhere else
    const Configuration& cfg = frame.HostConfiguration();
    QCOMPARE(cfg.appKey, std::string(kKey));
    QCOMPARE(cfg.appSecret, std::string(kSecret));
    QCOMPARE(cfg.signMethod, SignMethod::HmacSha256);
    QCOMPARE(cfg.source, ResultSource::OpenPlatform);
    QSettings().sync();
    QVERIFY(Contents(QSettings().fileName().toStdString()).find(kSecret) == std::string::npos);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_folders->Root()))
        if (entry.is_regular_file() && entry.path() != g_folders->UserConfigFile())
            QVERIFY2(Contents(entry.path()).find(kSecret) == std::string::npos, entry.path().c_str());
    // the dialog opened again shows where the secret is
    dialog = frame.OpenSettings();
    QVERIFY(dialog->m_checkSecretInFile->isChecked());
    QCOMPARE(dialog->m_editAppSecret->text(), QString::fromLatin1(kSecret));
    QCOMPARE(dialog->m_comboSignMethod->currentIndex(), 1);
    dialog->reject();
}

void StartupTest::choosingAConfigurationServerOrTheDemo()
{
    // no configuration server named on the command line or in the environment: the file names it
    MarketServerProcess material({"--search", "material"});
    QVERIFY2(material.Started(), material.Error().c_str());
    yfx::SetEndpointOverride(yfx::Endpoint::OpenGateway, material.BaseUrl());
    CMainFrame frame;
    frame.SetDemoServerProgram(QString::fromStdString(MarketServerProcess::BinaryPath()));
    QSignalSpy known(&frame, &CMainFrame::configurationKnown);
    QVERIFY(!frame.ConfigurationPending() || known.wait(kWaitMs));
    QCOMPARE(frame.HostConfiguration().source, ResultSource::ListSearch);

    CSettingsDialog* dialog = frame.OpenSettings();
    dialog->m_radioServer->setChecked(true);
    dialog->m_editServer->setText(QString::fromStdString(material.BaseUrl()) + QStringLiteral("/"));
    QSignalSpy changed(&frame, &CMainFrame::configurationChanged);
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QTRY_VERIFY(!frame.SettingsDialog());
    LocalConfigFile file;
    ReadLocalConfigFile(g_folders->UserConfigFile(), file);
    QCOMPARE(file.dataSource, DataSource::Server);
    QCOMPARE(file.configServer, material.BaseUrl());
    // the documents come from that server now, and the next search uses them
    QCOMPARE(ConfigDocumentUrl(), material.BaseUrl() + "/set/config.jpg");
    QTRY_COMPARE_WITH_TIMEOUT(frame.HostConfiguration().source, ResultSource::OpenPlatform, kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(Count(material, "/set/tbcat.jpg") == 1, kWaitMs);
    CLumbra2View* view = Search(frame, QStringLiteral("手机"));
    QVERIFY(Finished(view));
    QCOMPARE(view->Source(), ResultSource::OpenPlatform);

    // the demo, chosen in the settings: started now, and at every start
    dialog = frame.OpenSettings();
    QVERIFY(dialog->m_radioServer->isChecked());
    dialog->m_radioDemo->setChecked(true);
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QTRY_VERIFY_WITH_TIMEOUT(frame.DemoRunning(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(frame.HostConfiguration().source, ResultSource::ListSearch, kWaitMs);
    yfx::SetEndpointServer(std::string());
    yfx::SetEndpointOverride(yfx::Endpoint::ListSearch, std::string()); // nothing named for this run
    // the next start tries the demo at once (beside the test there is no server program: the
    // frame's own lookup fails, and says so once)
    CMainFrame next;
    QTRY_VERIFY_WITH_TIMEOUT(!next.ConfigurationPending(), kWaitMs);
    QVERIFY(next.statusBar()->currentMessage().startsWith(QStringLiteral("演示服务器未能启动")));
    QVERIFY(!next.DemoRunning());
}

void StartupTest::rememberedAcrossRuns()
{
    yfx::SetEndpointOverride(yfx::Endpoint::Config, m_stalling->BaseUrl());
    {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.move(37, 41);
        QTRY_COMPARE(QSettings().value(QStringLiteral("MainFrame/position")).toPoint(), QPoint(37, 41));
        frame.NavigationBar()->SetActivePage(1);
        frame.SearchPane()->m_editKeyword->setText(QStringLiteral("鞋子"));
        QTest::keyClick(frame.SearchPane()->m_editKeyword, Qt::Key_Return);
    }
    CMainFrame again;
    QCOMPARE(again.pos(), QPoint(37, 41));
    QCOMPARE(again.size(), QSize(CMainFrame::kWidth, CMainFrame::kHeight));
    QCOMPARE(again.NavigationBar()->Pages()->currentIndex(), 1);
    QCOMPARE(again.SearchPane()->KeywordHistory(), QStringList{QStringLiteral("鞋子")});
    // a place no screen shows any more is not taken
    QSettings().setValue(QStringLiteral("MainFrame/position"), QPoint(-5000, -5000));
    CMainFrame lost;
    QVERIFY(lost.pos() != QPoint(-5000, -5000));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"YFX_SERVER", "YFX_SEARCH_URL", "YFX_GATEWAY_URL", "YFX_CONFIG_URL", "YFX_OPEN_GATEWAY_URL"})
        qunsetenv(name);
    // no keyring answers in this process: a session bus that leads nowhere
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/yfx-no-bus");
    g_folders = std::make_unique<yfx::test::PrivateFolders>();
    int result = 0;
    {
        CLumbra2App app(argc, argv);
        StartupTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    g_folders.reset();
    return result;
}

#include "StartupTest.moc"
