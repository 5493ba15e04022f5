// Price-drop notices over a real session bus (dbus-run-session with
// tests/support/session-bus.conf) to the test's own notification service: what a notice
// carries, its action, no service, the running program's bus name, what a process without a
// window does on "查看", and the in-window fallback.
#include "CNotificationService.h"
#include "app/AlertTexts.h"
#include "app/CAlertFallback.h"
#include "app/CAnnouncementBar.h"
#include "app/CAssistantBus.h"
#include "app/CDesktopNotifier.h"

#include <QDBusConnection>
#include <QFile>
#include <QImage>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

Q_DECLARE_METATYPE(std::vector<yfx::store::PriceAlert>)

namespace {

constexpr int kWaitMs = 10000;

yfx::store::PriceAlert Alert(const std::string& title, std::int64_t before, std::int64_t now,
                             std::optional<std::int64_t> target = std::nullopt)
{
    yfx::store::PriceAlert a;
    a.title = title;
    a.before = before;
    a.now = now;
    a.target = target;
    a.page = "https://item.example/" + title;
    a.picture = "https://img.example/pic/" + std::to_string(now) + ".jpg";
    return a;
}

// A script at `dir`/`name` that appends its arguments to `dir`/`name`.log.
QString FakeProgram(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\necho \"$@\" >> \"$0.log\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString LogOf(const QString& program)
{
    QFile f(program + QStringLiteral(".log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
}

} // namespace

class NotifierTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void tell_data();
    void tell();
    void closedNoticeSettles();
    void markupIsEscaped();
    void unanswered_data();
    void unanswered();
    void assistantBus_data();
    void assistantBus();
    void headlessOpener_data();
    void headlessOpener();
    void fallbackBar();

private:
    QTemporaryDir m_pictures;
};

void NotifierTest::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
    QVERIFY(m_pictures.isValid());
    // a picture as the results view leaves it in the picture folder
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(QColor(200, 40, 40));
    const std::string name = yfx::PictureFileName(Alert("保温杯", 12900, 9900).picture);
    QVERIFY(!name.empty());
    QVERIFY(picture.save(m_pictures.filePath(QString::fromStdString(name)), "JPG"));
    // the lamp's only in the larger size, as tiles on an enlarged desktop keep it; the kettle's
    // is larger than any thumbnail
    const std::string larger = yfx::LargerPictureFileName(Alert("台灯", 8800, 7000).picture);
    QVERIFY(!larger.empty() && larger != yfx::PictureFileName(Alert("台灯", 8800, 7000).picture));
    QVERIFY(picture.save(m_pictures.filePath(QString::fromStdString(larger)), "JPG"));
    QImage huge(5000, 10, QImage::Format_RGB32);
    huge.fill(Qt::white);
    QVERIFY(huge.save(m_pictures.filePath(QString::fromStdString(yfx::PictureFileName(Alert("水壶", 9000, 8000).picture))), "PNG"));
}

void NotifierTest::tell_data()
{
    QTest::addColumn<std::vector<yfx::store::PriceAlert>>("alerts");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("image");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("item");   // itemRequested's page, or "" for none
    QTest::addColumn<bool>("watchList"); // watchListRequested

    const auto cup = Alert("保温杯", 12900, 9900);
    QTest::newRow("one item, its picture")
        << std::vector{cup} << QStringLiteral("保温杯 ¥129.00 → ¥99.00") << true << QStringLiteral("default")
        << QStringLiteral("https://item.example/保温杯") << false;
    QTest::newRow("one item with a target, no picture file")
        << std::vector{Alert("雨伞", 5000, 3990, 4000)}
        << QStringLiteral("雨伞 ¥50.00 → ¥39.90（目标 ¥40.00）") << false << QStringLiteral("default")
        << QStringLiteral("https://item.example/雨伞") << false;
    QTest::newRow("one item, only its larger picture")
        << std::vector{Alert("台灯", 8800, 7000)} << QStringLiteral("台灯 ¥88.00 → ¥70.00") << true
        << QStringLiteral("default") << QStringLiteral("https://item.example/台灯") << false;
    QTest::newRow("one item, a picture beyond any thumbnail")
        << std::vector{Alert("水壶", 9000, 8000)} << QStringLiteral("水壶 ¥90.00 → ¥80.00") << false
        << QStringLiteral("default") << QStringLiteral("https://item.example/水壶") << false;
    QTest::newRow("several: one summary")
        << std::vector{cup, Alert("雨伞", 5000, 3990), Alert("台灯", 8800, 7000)}
        << QStringLiteral("3 件关注的商品降价了") << false << QStringLiteral("default") << QString() << true;
    QTest::newRow("an action that is not ours")
        << std::vector{cup} << QStringLiteral("保温杯 ¥129.00 → ¥99.00") << true << QStringLiteral("other")
        << QString() << false;
}

void NotifierTest::tell()
{
    QFETCH(std::vector<yfx::store::PriceAlert>, alerts);
    QFETCH(QString, body);
    QFETCH(bool, image);
    QFETCH(QString, action);
    QFETCH(QString, item);
    QFETCH(bool, watchList);

    CNotificationService service;
    QVERIFY(service.Start());
    CDesktopNotifier notifier;
    notifier.SetPictureFolder(m_pictures.path() + QLatin1Char('/'));
    QSignalSpy shown(&notifier, &CDesktopNotifier::shown);
    QSignalSpy items(&notifier, &CDesktopNotifier::itemRequested);
    QSignalSpy lists(&notifier, &CDesktopNotifier::watchListRequested);
    QSignalSpy settled(&notifier, &CDesktopNotifier::settled);
    notifier.Tell(alerts);
    QVERIFY(shown.wait(kWaitMs));

    QCOMPARE(service.Calls().size(), size_t{1});
    const CNotificationService::Call& call = service.Calls().front();
    QCOMPARE(call.summary, QStringLiteral("降价提醒"));
    QCOMPARE(call.body, body);
    QCOMPARE(call.app, QStringLiteral("悦丰选网购助手"));
    QCOMPARE(call.actions, (QStringList{QStringLiteral("default"), QStringLiteral("查看")}));
    CNotificationService::Image picture;
    QCOMPARE(CNotificationService::ImageOf(call, picture), image);
    if (image) { // 300 × 200 scaled into 128 × 128, three 8-bit channels, rows as sent
        QCOMPARE(picture.width, CDesktopNotifier::kPictureSide);
        QCOMPARE(picture.height, 85);
        QCOMPARE(picture.channels, 3);
        QCOMPARE(picture.bitsPerSample, 8);
        QVERIFY(!picture.hasAlpha);
        QVERIFY(picture.rowstride >= 3 * picture.width);
        QCOMPARE(picture.data.size(), qsizetype(picture.rowstride) * picture.height);
    }
    QCOMPARE(notifier.Pending(), 1);

    service.InvokeAction(shown.first().first().toUInt(), action);
    QVERIFY(settled.wait(kWaitMs));
    QCOMPARE(items.size(), item.isEmpty() ? 0 : 1);
    if (!item.isEmpty())
        QCOMPARE(items.first().first().toString(), item);
    QCOMPARE(lists.size(), watchList ? 1 : 0);
    QCOMPARE(notifier.Pending(), 0);
}

void NotifierTest::closedNoticeSettles()
{
    CNotificationService service;
    QVERIFY(service.Start());
    CDesktopNotifier notifier;
    QSignalSpy shown(&notifier, &CDesktopNotifier::shown);
    notifier.Tell({Alert("雨伞", 5000, 3990), Alert("台灯", 8800, 7000)});
    QVERIFY(shown.wait(kWaitMs));
    // another program's notice closing changes nothing; ours ends the wait
    service.Close(shown.first().first().toUInt() + 100);
    QVERIFY(!notifier.WaitUntilSettled(200));
    service.Close(shown.first().first().toUInt(), 1);
    QVERIFY(notifier.WaitUntilSettled(kWaitMs));
}

void NotifierTest::markupIsEscaped()
{
    CNotificationService service(
        {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")});
    QVERIFY(service.Start());
    CDesktopNotifier notifier;
    QSignalSpy shown(&notifier, &CDesktopNotifier::shown);
    notifier.Tell({Alert("A&B <套装> \"新\"", 1000, 900)});
    QVERIFY(shown.wait(kWaitMs));
    QCOMPARE(service.Calls().front().body, QStringLiteral("A&amp;B &lt;套装&gt; &quot;新&quot; ¥10.00 → ¥9.00"));
}

void NotifierTest::unanswered_data()
{
    QTest::addColumn<bool>("service"); // a service owns the name, but refuses every call
    QTest::newRow("nobody owns the name") << false;
    QTest::newRow("the call fails") << true;
}

void NotifierTest::unanswered()
{
    QFETCH(bool, service);
    std::unique_ptr<CNotificationService> refusing;
    if (service) {
        refusing = std::make_unique<CNotificationService>();
        refusing->SetFailing(true);
        QVERIFY(refusing->Start());
    }
    CDesktopNotifier notifier;
    QSignalSpy unanswered(&notifier, &CDesktopNotifier::unanswered);
    notifier.Tell({Alert("雨伞", 5000, 3990, 4000)});
    QVERIFY(unanswered.wait(kWaitMs));
    QCOMPARE(unanswered.first().first().toString(), QStringLiteral("雨伞 ¥50.00 → ¥39.90（目标 ¥40.00）"));
    QCOMPARE(notifier.Pending(), 0);
    QVERIFY(notifier.WaitUntilSettled(0));
}

void NotifierTest::assistantBus_data()
{
    QTest::addColumn<bool>("running");
    QTest::newRow("the program runs") << true;
    QTest::newRow("no program") << false;
}

void NotifierTest::assistantBus()
{
    QFETCH(bool, running);
    // the program on a connection of its own, as another process would be
    const QString name = QStringLiteral("yfx-test-program");
    {
        QDBusConnection program = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        CAssistantBus assistant;
        if (running)
            QVERIFY(assistant.Register(program));
        QSignalSpy items(&assistant, &CAssistantBus::openItemRequested);
        QSignalSpy lists(&assistant, &CAssistantBus::showWatchListRequested);
        QList<bool> answers;
        CAssistantBus::AskOpenItem(QStringLiteral("https://item.example/1"), this,
                                   [&](bool t) { answers.append(t); });
        CAssistantBus::AskShowWatchList(this, [&](bool t) { answers.append(t); });
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 2, kWaitMs);
        QCOMPARE(answers, (QList<bool>{running, running}));
        QCOMPARE(items.size(), running ? 1 : 0);
        QCOMPARE(lists.size(), running ? 1 : 0);
        if (running) {
            QCOMPARE(items.first().first().toString(), QStringLiteral("https://item.example/1"));
            CAssistantBus second; // a second copy of the program leaves the name to the first
            QVERIFY(!second.Register(QDBusConnection::sessionBus()));
        }
    }
    QDBusConnection::disconnectFromBus(name);
}

void NotifierTest::headlessOpener_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("alerts");
    QTest::addColumn<QString>("how");
    QTest::newRow("item, program runs") << true << 1 << QStringLiteral("program");
    QTest::newRow("item, no program: the browser") << false << 1 << QStringLiteral("browser");
    QTest::newRow("watch list, no program: started") << false << 2 << QStringLiteral("started");
}

void NotifierTest::headlessOpener()
{
    QFETCH(bool, running);
    QFETCH(int, alerts);
    QFETCH(QString, how);
    QTemporaryDir bin;
    const QString browser = FakeProgram(bin, QStringLiteral("xdg-open"));
    const QString program = FakeProgram(bin, QStringLiteral("yuefengxuan"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);
    auto restore = qScopeGuard([&] { qputenv("PATH", path); });

    const QString connection = QStringLiteral("yfx-test-program");
    {
        CNotificationService service;
        QVERIFY(service.Start());
        CAssistantBus assistant;
        if (running)
            QVERIFY(
                assistant.Register(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection)));
        CDesktopNotifier notifier;
        CHeadlessOpener opener(&notifier, program);
        QSignalSpy shown(&notifier, &CDesktopNotifier::shown);
        QSignalSpy opened(&opener, &CHeadlessOpener::opened);
        QSignalSpy asked(&assistant, &CAssistantBus::openItemRequested);
        std::vector<yfx::store::PriceAlert> told{Alert("雨伞", 5000, 3990)};
        if (alerts > 1)
            told.push_back(Alert("台灯", 8800, 7000));
        notifier.Tell(told);
        QVERIFY(shown.wait(kWaitMs));
        service.InvokeAction(shown.first().first().toUInt(), QStringLiteral("default"));
        // the process may leave once settled: by then the action has been carried out
        QVERIFY(notifier.WaitUntilSettled(kWaitMs));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.first().first().toString(), how);
        if (how == QLatin1String("program"))
            QCOMPARE(asked.size(), 1);
        if (how == QLatin1String("browser"))
            QTRY_COMPARE_WITH_TIMEOUT(LogOf(browser), QStringLiteral("https://item.example/雨伞"), kWaitMs);
        if (how == QLatin1String("started"))
            QTRY_COMPARE_WITH_TIMEOUT(LogOf(program), QStringLiteral("--show-watched"), kWaitMs); // on 我的关注
        QCOMPARE(LogOf(browser).isEmpty(), how != QLatin1String("browser"));
    }
    QDBusConnection::disconnectFromBus(connection);
}

void NotifierTest::fallbackBar()
{
    // offscreen there is no system tray: the text goes to the bar in the window
    QMainWindow window;
    CAlertFallback fallback(&window);
    window.setMenuWidget(fallback.Bar());
    window.show();
    QSignalSpy view(&fallback, &CAlertFallback::viewRequested);
    fallback.Show(QStringLiteral("3 件关注的商品降价了"));
    QVERIFY(!fallback.ShownInTray());
    QVERIFY(fallback.Bar()->isVisible());
    QCOMPARE(fallback.Bar()->Text(), QStringLiteral("降价提醒：3 件关注的商品降价了"));
    QToolButton* button = nullptr;
    for (QToolButton* b : fallback.Bar()->findChildren<QToolButton*>())
        if (b->text() == QStringLiteral("查看"))
            button = b;
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(view.size(), 1);
    QVERIFY(!fallback.Bar()->isVisible());
}

QTEST_MAIN(NotifierTest)
#include "NotifierTest.moc"
