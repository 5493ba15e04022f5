// The texts of price-drop notices, the settings of the watch list, and the settings page
// "降价提醒" with a systemctl of the test's own on PATH (a script that keeps the timer's state
// in its folder and logs how it was called).
#include "app/AlertTexts.h"
#include "app/CWatchSettingsPage.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(yfx::TimerState)

namespace {

constexpr int kWaitMs = 10000;

const char kFakeSystemctl[] = R"sh(#!/bin/sh
dir=$(dirname "$0")
echo "$@" >> "$dir/log"
case "$2" in
is-system-running)
  if [ -e "$dir/nobus" ]; then echo "Failed to connect to bus: No medium found" >&2; exit 1; fi
  cat "$dir/running"; [ "$(cat "$dir/running")" = running ] ;;
is-enabled)
  s=$(cat "$dir/state")
  if [ "$s" = not-found ]; then echo "Failed to get unit file state for $3: No such file or directory" >&2; exit 1; fi
  echo "$s"; [ "$s" = enabled ] ;;
enable)
  if [ -e "$dir/refuse" ]; then echo "Failed to enable unit: Access denied" >&2; exit 1; fi
  echo enabled > "$dir/state" ;;
disable)
  echo disabled > "$dir/state" ;;
esac
)sh";

void Write(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QString Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

class WatchAlertsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void texts_data();
    void texts();
    void pictureFileName_data();
    void pictureFileName();
    void savedSettings_data();
    void savedSettings();
    void systemctlAnswers_data();
    void systemctlAnswers();
    void pageOpens_data();
    void pageOpens();
    void pageSwitchesTimer();
    void pageSaves();

private:
    // Makes the page and waits for systemctl's answer.
    std::unique_ptr<CWatchSettingsPage> OpenPage();

    QTemporaryDir m_settings;
    QTemporaryDir m_bin; // the fake systemctl and its state
    QByteArray m_path;
};

void WatchAlertsTest::initTestCase()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    QCoreApplication::setOrganizationName(QStringLiteral("yfx-test"));
    QCoreApplication::setApplicationName(QStringLiteral("watch-alerts"));
    m_path = qgetenv("PATH");
}

void WatchAlertsTest::init()
{
    QSettings().clear();
    const QString tool = m_bin.filePath(QStringLiteral("systemctl"));
    Write(tool, kFakeSystemctl);
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char* name : {"log", "nobus", "refuse"})
        QFile::remove(m_bin.filePath(QLatin1String(name)));
    Write(m_bin.filePath(QStringLiteral("running")), "running\n");
    Write(m_bin.filePath(QStringLiteral("state")), "disabled\n");
    qputenv("PATH", m_bin.path().toLocal8Bit() + ':' + m_path);
}

void WatchAlertsTest::cleanup()
{
    qputenv("PATH", m_path);
}

std::unique_ptr<CWatchSettingsPage> WatchAlertsTest::OpenPage()
{
    auto page = std::make_unique<CWatchSettingsPage>();
    QSignalSpy known(page.get(), &CWatchSettingsPage::timerStateKnown);
    if (!known.wait(kWaitMs))
        return nullptr;
    return page;
}

void WatchAlertsTest::texts_data()
{
    QTest::addColumn<int>("count"); // alerts told at once
    QTest::addColumn<QString>("title");
    QTest::addColumn<qint64>("target"); // -1: none
    QTest::addColumn<QString>("body");
    QTest::newRow("one, no target") << 1 << QStringLiteral("保温杯") << qint64(-1)
                                    << QStringLiteral("保温杯 ¥129.00 → ¥99.00");
    QTest::newRow("one, a target") << 1 << QStringLiteral("保温杯") << qint64(10000)
                                   << QStringLiteral("保温杯 ¥129.00 → ¥99.00（目标 ¥100.00）");
    QTest::newRow("one, no title") << 1 << QString() << qint64(-1)
                                   << QStringLiteral("关注的商品 ¥129.00 → ¥99.00");
    QTest::newRow("two: the summary")
        << 2 << QStringLiteral("保温杯") << qint64(-1) << QStringLiteral("2 件关注的商品降价了");
    QTest::newRow("none: nothing") << 0 << QStringLiteral("保温杯") << qint64(-1) << QString();
}

void WatchAlertsTest::texts()
{
    QFETCH(int, count);
    QFETCH(QString, title);
    QFETCH(qint64, target);
    QFETCH(QString, body);
    yfx::store::PriceAlert a;
    a.title = title.toStdString();
    a.before = 12900;
    a.now = 9900;
    if (target >= 0)
        a.target = target;
    QCOMPARE(QString::fromStdString(yfx::AlertsBody(std::vector(static_cast<size_t>(count), a))), body);
    QCOMPARE(QString::fromStdString(yfx::AlertTitle()), QStringLiteral("降价提醒"));
}

void WatchAlertsTest::pictureFileName_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("name");
    QTest::newRow("the tile's thumbnail")
        << QStringLiteral("https://img.example/i4/abc.jpg") << QStringLiteral("abc.jpg_220x220.jpg");
    QTest::newRow("no file name") << QStringLiteral("https://img.example/") << QString();
    QTest::newRow("no suffix: as it is") << QStringLiteral("http://pictures/abc") << QStringLiteral("abc");
    QTest::newRow("no address") << QString() << QString();
}

void WatchAlertsTest::pictureFileName()
{
    QFETCH(QString, address);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(yfx::PictureFileName(address.toStdString())), name);
}

void WatchAlertsTest::savedSettings_data()
{
    QTest::addColumn<QVariant>("interval"); // invalid: not set
    QTest::addColumn<QVariant>("percent");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("drop");
    QTest::newRow("nothing saved: 6 h, 5 %") << QVariant() << QVariant() << 6 << 5;
    QTest::newRow("saved values") << QVariant(12) << QVariant(10) << 12 << 10;
    QTest::newRow("beyond the ranges") << QVariant(500) << QVariant(0) << 168 << 1;
    QTest::newRow("not numbers") << QVariant(QStringLiteral("oft")) << QVariant(QStringLiteral("viel")) << 6
                                 << 5;
}

void WatchAlertsTest::savedSettings()
{
    QFETCH(QVariant, interval);
    QFETCH(QVariant, percent);
    QFETCH(int, hours);
    QFETCH(int, drop);
    QSettings s;
    if (interval.isValid())
        s.setValue(QStringLiteral("watch/intervalHours"), interval);
    if (percent.isValid())
        s.setValue(QStringLiteral("watch/dropPercent"), percent);
    QCOMPARE(yfx::SavedWatchIntervalHours(), hours);
    QCOMPARE(yfx::SavedWatchDropPercent(), drop);
}

void WatchAlertsTest::systemctlAnswers_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("instance");         // read as is-system-running's answer
    QTest::addColumn<yfx::TimerState>("timer"); // read as is-enabled's answer
    using yfx::TimerState;
    QTest::newRow("running, enabled")
        << true << QStringLiteral("running\n") << true << TimerState::NotInstalled;
    QTest::newRow("degraded") << true << QStringLiteral("degraded\n") << true << TimerState::NotInstalled;
    QTest::newRow("offline") << true << QStringLiteral("offline\n") << false << TimerState::NotInstalled;
    QTest::newRow("nothing on stdout") << true << QString() << false << TimerState::NotInstalled;
    QTest::newRow("no systemctl") << false << QString() << false << TimerState::NoUserInstance;
    QTest::newRow("enabled") << true << QStringLiteral("enabled\n") << true << TimerState::Enabled;
    QTest::newRow("enabled-runtime") << true << QStringLiteral("enabled-runtime\n") << true
                                     << TimerState::Enabled;
    QTest::newRow("disabled") << true << QStringLiteral("disabled\n") << true << TimerState::Disabled;
    QTest::newRow("not-found") << true << QStringLiteral("not-found\n") << true << TimerState::NotInstalled;
}

void WatchAlertsTest::systemctlAnswers()
{
    QFETCH(bool, started);
    QFETCH(QString, out);
    QFETCH(bool, instance);
    QFETCH(yfx::TimerState, timer);
    yfx::SystemctlAnswer a;
    a.started = started;
    a.out = out;
    QCOMPARE(yfx::UserInstanceRuns(a), instance);
    QCOMPARE(yfx::TimerStateOf(a), timer);
}

void WatchAlertsTest::pageOpens_data()
{
    QTest::addColumn<QString>("setup"); // file=content;… in the fake's folder, or "nosystemctl"
    QTest::addColumn<yfx::TimerState>("state");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("note"); // part of the note
    using yfx::TimerState;
    QTest::newRow("enabled") << QStringLiteral("state=enabled") << TimerState::Enabled << true << true
                             << QStringLiteral("已开启");
    QTest::newRow("disabled") << QStringLiteral("state=disabled") << TimerState::Disabled << true << false
                              << QStringLiteral("已关闭");
    QTest::newRow("not installed") << QStringLiteral("state=not-found") << TimerState::NotInstalled << false
                                   << false << QStringLiteral("yuefengxuan-check.timer");
    QTest::newRow("instance offline") << QStringLiteral("running=offline") << TimerState::NoUserInstance
                                      << false << false << QStringLiteral("没有 systemd 用户实例");
    QTest::newRow("no bus") << QStringLiteral("nobus=") << TimerState::NoUserInstance << false << false
                            << QStringLiteral("没有 systemd 用户实例");
    QTest::newRow("no systemctl") << QStringLiteral("nosystemctl") << TimerState::NoUserInstance << false
                                  << false << QStringLiteral("没有 systemd 用户实例");
}

void WatchAlertsTest::pageOpens()
{
    QFETCH(QString, setup);
    QFETCH(yfx::TimerState, state);
    QFETCH(bool, usable);
    QFETCH(bool, checked);
    QFETCH(QString, note);
    if (setup == QLatin1String("nosystemctl")) {
        qputenv("PATH", m_settings.path().toLocal8Bit()); // a folder without it
    } else {
        const auto [file, content] =
            std::pair(setup.section(QLatin1Char('='), 0, 0), setup.section(QLatin1Char('='), 1));
        Write(m_bin.filePath(file), content.toUtf8() + '\n');
    }
    auto page = OpenPage();
    QVERIFY(page);
    QCOMPARE(page->State(), state);
    QCOMPARE(page->TimerBox()->isEnabled(), usable);
    QCOMPARE(page->TimerBox()->isChecked(), checked);
    QVERIFY2(page->TimerNote()->text().contains(note), qPrintable(page->TimerNote()->text()));
}

void WatchAlertsTest::pageSwitchesTimer()
{
    auto page = OpenPage();
    QVERIFY(page);
    QCOMPARE(page->State(), yfx::TimerState::Disabled);
    QSignalSpy known(page.get(), &CWatchSettingsPage::timerStateKnown);
    const QString log = m_bin.filePath(QStringLiteral("log"));

    QTest::mouseClick(page->TimerBox(), Qt::LeftButton);
    QVERIFY(!page->TimerBox()->isEnabled()); // until systemctl has answered
    QVERIFY(known.wait(kWaitMs));
    QCOMPARE(page->State(), yfx::TimerState::Enabled);
    QVERIFY(page->TimerBox()->isChecked() && page->TimerBox()->isEnabled());
    QVERIFY(Read(log).contains(QStringLiteral("--user enable --now yuefengxuan-check.timer\n")));

    QTest::mouseClick(page->TimerBox(), Qt::LeftButton);
    QVERIFY(known.wait(kWaitMs));
    QCOMPARE(page->State(), yfx::TimerState::Disabled);
    QVERIFY(Read(log).contains(QStringLiteral("--user disable --now yuefengxuan-check.timer\n")));

    // a refusal: the box shows the timer as it is, the note why
    Write(m_bin.filePath(QStringLiteral("refuse")), "");
    QTest::mouseClick(page->TimerBox(), Qt::LeftButton);
    QVERIFY(known.wait(kWaitMs));
    QVERIFY(!page->TimerBox()->isChecked());
    QCOMPARE(page->TimerNote()->text(),
             QStringLiteral("未能切换定时检查：Failed to enable unit: Access denied"));
}

void WatchAlertsTest::pageSaves()
{
    auto page = OpenPage();
    QVERIFY(page);
    QCOMPARE(page->IntervalBox()->value(), 6);
    QCOMPARE(page->PercentBox()->value(), 5);
    page->IntervalBox()->setValue(24);
    page->PercentBox()->setValue(200);           // beyond the range: 90
    QCOMPARE(yfx::SavedWatchIntervalHours(), 6); // nothing saved before OK
    page->Save();
    QCOMPARE(QSettings().value(QStringLiteral("watch/intervalHours")).toInt(), 24);
    QCOMPARE(QSettings().value(QStringLiteral("watch/dropPercent")).toInt(), 90);
}

QTEST_MAIN(WatchAlertsTest)
#include "WatchAlertsTest.moc"
