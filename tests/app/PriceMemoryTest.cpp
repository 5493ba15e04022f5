// The main frame with a price memory whose file cannot be used: the program runs on, says so
// once in the status bar's message pane (never in a message box), and its menus offer nothing
// of the memory.
#include "app/CMainFrame.h"
#include "results/CPriceMemory.h"
#include "results/CPriceMemoryPage.h"
#include "results/PriceMemoryActions.h"
#include "store/StoreFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QMdiArea>

#include <memory>

class PriceMemoryTest : public QObject {
    Q_OBJECT
private slots:
    void unusableStoreIsSaidOnceInTheStatusBar()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        const std::string path = yfx::store::DefaultStorePath();
        QCOMPARE(QString::fromStdString(path), home.path() + QStringLiteral("/yuefengxuan/prices.sqlite"));
        QVERIFY(QDir().mkpath(QString::fromStdString(path))); // a folder where the file belongs

        yfx::store::CPriceStore::Settings settings;
        settings.database.path = path;
        CPriceMemory memory(settings);
        SetMainPriceMemory(&memory);
        QSignalSpy unavailable(&memory, &CPriceMemory::unavailable);
        CMainFrame frame(nullptr);
        QStringList messages;
        connect(frame.statusBar(), &QStatusBar::messageChanged, this, [&](const QString& m) { messages << m; });
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        if (unavailable.isEmpty())
            QVERIFY(unavailable.wait(10000));
        const QString said = QStringLiteral("价格记录不可用：") + QString::fromStdString(path) + QStringLiteral(" 是一个文件夹");
        QTRY_COMPARE(frame.statusBar()->currentMessage(), said);
        QVERIFY(!memory.Available());
        QVERIFY(QApplication::topLevelWidgets().count() >= 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!qobject_cast<QMessageBox*>(w), "no message box");

        // The memory's commands are there but off; handing items over does nothing more.
        frame.OpenEmptyResults(QStringLiteral("空"));
        QMenu* menu = frame.MdiArea()->findChild<QToolButton*>(QStringLiteral("documentMenu"))->menu();
        emit menu->aboutToShow();
        for (const char* name : {"priceRecordingOff", "clearPriceRecords"}) {
            QAction* a = menu->findChild<QAction*>(QLatin1String(name));
            QVERIFY2(a && !a->isEnabled(), name);
        }
        memory.Record({CTBRecord()});
        bool answered = false;
        memory.AskSummaries(this, {{{ResultSource::ListSearch, "1"}, 100}},
                            [&](const std::vector<yfx::store::PriceSummary>& s) { answered = s.empty(); });
        QTRY_VERIFY(answered); // everything handed over before has been dealt with
        QCOMPARE(unavailable.count(), 1);
        QCOMPARE(messages.count(said), 1);
        // the settings page says so and offers nothing
        CPriceMemoryPage page(&memory);
        QVERIFY(!page.RecordBox()->isEnabled() && !page.KeepDaysBox()->isEnabled() && !page.ClearButton()->isEnabled());
        QVERIFY(!page.Note()->text().isEmpty());
        SetMainPriceMemory(nullptr);
    }

    void settingsPageSavesTheSwitchAndTheKeepingTime()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        yfx::store::CPriceStore::Settings settings;
        settings.database.path = yfx::store::DefaultStorePath();
        CPriceMemory memory(settings);
        QTRY_VERIFY(memory.Available());
        yfx::SetPriceRecording(&memory, true);
        yfx::SetPriceKeepDays(&memory, 400);

        CPriceMemoryPage page(&memory);
        QVERIFY(page.RecordBox()->isChecked());
        QCOMPARE(page.KeepDaysBox()->value(), 400);
        page.RecordBox()->setChecked(false);
        page.KeepDaysBox()->setValue(90);
        // nothing changes before the dialog's OK
        QVERIFY(yfx::SavedPriceRecording());
        QCOMPARE(yfx::SavedPriceKeepDays(), 400);
        page.Save();
        QVERIFY(!yfx::SavedPriceRecording());
        QCOMPARE(yfx::SavedPriceKeepDays(), 90);
        // a page made afterwards shows what was saved; the bounds hold
        CPriceMemoryPage again(&memory);
        QVERIFY(!again.RecordBox()->isChecked());
        QCOMPARE(again.KeepDaysBox()->value(), 90);
        again.KeepDaysBox()->setValue(1);
        QCOMPARE(again.KeepDaysBox()->value(), CPriceMemoryPage::kMinKeepDays);
        yfx::SetPriceRecording(&memory, true);
    }
};

QTEST_MAIN(PriceMemoryTest)
#include "PriceMemoryTest.moc"
