// The application's secret in a real Secret Service (gnome-keyring on a private session bus,
// see with-keyring): written by the settings dialog, never into config.json; read back by the
// next start, whose searches wait for it and are signed with it.
#include "app/CChildFrame.h"
#include "app/CLumbra2App.h"
#include "app/CMainFrame.h"
#include "app/CSecretStore.h"
#include "app/CSettingsDialog.h"
#include "market/Endpoints.h"
#include "market/LocalConfiguration.h"
#include "panes/CLumbraWnd.h"
#include "results/CLumbra2View.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

constexpr int kWaitMs = 20000;
const QString kKey = QStringLiteral("12345678");
const QString kSecret = QStringLiteral("yfx-local-secret");
const QString kPid = QStringLiteral("mm_10000001_2000002_30000003");

std::unique_ptr<yfx::test::PrivateFolders> g_folders;

std::string Contents(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The Secret Service's own answer, through its command-line client.
QString Lookup(const QString& appKey)
{
    QProcess p;
    p.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("server"), CSecretStore::Service(),
                                            QStringLiteral("user"), CSecretStore::EntryFor(appKey)});
    p.waitForFinished(kWaitMs);
    return QString::fromUtf8(p.readAllStandardOutput());
}

CSecretStore::Answer Wait(const std::function<void(CSecretStore::Done)>& call)
{
    CSecretStore::Answer answer;
    answer.error = QStringLiteral("no answer");
    bool done = false;
    call([&](const CSecretStore::Answer& a) {
        answer = a;
        done = true;
    });
    QTest::qWaitFor([&] { return done; }, CSecretStore::kTimeoutMs + kWaitMs);
    return answer;
}

} // namespace

class KeyringTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void storeReadsAndWrites();
    void dialogKeepsTheSecretInTheKeyringOnly();
    void nextStartSignsWithTheKeyringsSecret();
    void aKeyWithoutSecretIsSaidInTheStatusBar();

private:
    std::unique_ptr<yfx::test::MarketServerProcess> m_server;
    QObject m_receiver;
};

void KeyringTest::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "run under tests/app/with-keyring");
    m_server = std::make_unique<yfx::test::MarketServerProcess>(std::vector<std::string>{"--fault", "/set/*=status:404"});
    QVERIFY2(m_server->Started(), m_server->Error().c_str());
    yfx::SetEndpointServer(m_server->BaseUrl()); // the gateway plays the open platform; no configuration
}

void KeyringTest::storeReadsAndWrites()
{
    const QString key = QStringLiteral("store-test");
    auto read = [&] { return Wait([&](CSecretStore::Done d) { CSecretStore::Read(key, &m_receiver, d); }); };
    QCOMPARE(read().outcome, CSecretStore::Outcome::NotFound);
    QCOMPARE(Wait([&](CSecretStore::Done d) { CSecretStore::Write(key, QStringLiteral("秘密 1"), &m_receiver, d); }).outcome,
             CSecretStore::Outcome::Ok);
    const CSecretStore::Answer a = read();
    QCOMPARE(a.outcome, CSecretStore::Outcome::Ok);
    QCOMPARE(a.secret, QStringLiteral("秘密 1"));
    QCOMPARE(Lookup(key), QStringLiteral("秘密 1")); // in the Secret Service itself
    // an answer for a receiver that is gone is never delivered
    bool called = false;
    {
        QObject gone;
        CSecretStore::Read(key, &gone, [&](const CSecretStore::Answer&) { called = true; });
    }
    QVERIFY(read().outcome == CSecretStore::Outcome::Ok && !called);
}

void KeyringTest::dialogKeepsTheSecretInTheKeyringOnly()
{
    CMainFrame frame;
    CSettingsDialog* dialog = frame.OpenSettings();
    dialog->m_radioPlatform->setChecked(true);
    dialog->m_editAppKey->setText(kKey);
    dialog->m_editAppSecret->setText(kSecret);
    dialog->m_editPid->setText(kPid);
    QSignalSpy saved(dialog, &CSettingsDialog::dataSourceSaved);
    dialog->m_buttons->button(QDialogButtonBox::Ok)->click();
    QVERIFY(saved.count() == 1 || saved.wait(CSecretStore::kTimeoutMs + kWaitMs));
    QTRY_VERIFY(!frame.SettingsDialog());
    QCOMPARE(Lookup(kKey), kSecret);
    // config.json holds the application, not its secret; nothing else under the user's folders has it
    LocalConfigFile file;
    QCOMPARE(ReadLocalConfigFile(g_folders->UserConfigFile(), file).kind, LocalConfigProblem::Kind::None);
    QCOMPARE(file.members.appKey.value_or(""), kKey.toStdString());
    QVERIFY(!file.members.appSecret);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(g_folders->Root()))
        if (entry.is_regular_file())
            QVERIFY2(Contents(entry.path()).find(kSecret.toStdString()) == std::string::npos, entry.path().c_str());
    // in force at once
    QCOMPARE(frame.HostConfiguration().appSecret, kSecret.toStdString());
    QCOMPARE(frame.HostConfiguration().source, ResultSource::OpenPlatform);
}

void KeyringTest::nextStartSignsWithTheKeyringsSecret()
{
    // config.json from the test before; the secret only in the keyring
    CMainFrame frame;
    QVERIFY(frame.ConfigurationPending()); // until the keyring answers
    frame.SearchPane()->m_editKeyword->setText(QStringLiteral("手机"));
    frame.SearchPane()->OnSearchBySales();
    CLumbra2View* view = frame.ResultsWindows().last()->View();
    QVERIFY(view->IsLoading());
    QSignalSpy finished(view, &CLumbra2View::loadFinished);
    QVERIFY(finished.wait(CSecretStore::kTimeoutMs + kWaitMs));
    QCOMPARE(frame.HostConfiguration().appSecret, kSecret.toStdString());
    QCOMPARE(view->Source(), ResultSource::OpenPlatform);
    QVERIFY2(!view->Tiles().empty(), qPrintable(view->StatusText())); // the gateway took the signature
}

void KeyringTest::aKeyWithoutSecretIsSaidInTheStatusBar()
{
    std::string error;
    QVERIFY(UpdateLocalConfigFile(g_folders->UserConfigFile(), {{"appkey", "87654321"}}, error));
    CMainFrame frame;
    QSignalSpy known(&frame, &CMainFrame::configurationKnown);
    QVERIFY(!frame.ConfigurationPending() || known.wait(CSecretStore::kTimeoutMs + kWaitMs));
    QVERIFY(frame.HostConfiguration().appSecret.empty());
    QVERIFY2(frame.statusBar()->currentMessage().contains(QStringLiteral("系统钥匙环中没有 AppKey 87654321")),
             qPrintable(frame.statusBar()->currentMessage()));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_folders = std::make_unique<yfx::test::PrivateFolders>();
    int result = 0;
    {
        CLumbra2App app(argc, argv);
        KeyringTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    g_folders.reset();
    return result;
}

#include "KeyringTest.moc"
