// The watch service on the GUI thread against the bundled server: a check hands its alerts
// over as a queued signal, and a check that another program is running is waited for without
// blocking the thread, and not repeated.
#include "app/CWatchService.h"
#include "market/Endpoints.h"
#include "market/NetEngine.h"
#include "store/CPriceStore.h"
#include "tests/support/MarketServerProcess.h"
#include "tests/support/PrivateFolders.h"
#include "tools/market-server/Catalogue.h"
#include "tools/market-server/MaterialGateway.h"
#include "watch/CheckLock.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using namespace yfx;

class WatchServiceTest : public QObject {
    Q_OBJECT
private slots:
    void checksHandAlertsOverAndWaitForAnotherProgramsCheck()
    {
        test::PrivateFolders folders;
        test::MarketServerProcess server;
        QVERIFY2(server.Started(), server.Error().c_str());
        SetEndpointServer(server.BaseUrl());
        store::CPriceStore::Settings settings;
        settings.database.path = folders.DataHome() + "/yuefengxuan/prices.sqlite";
        store::CPriceStore memory(settings, nullptr);
        const server::Catalogue catalogue = server::Catalogue::Generate(20130328, 2000);
        for (int i = 0; i < 3; ++i) {
            const server::CatalogueItem& item = catalogue.Items()[static_cast<std::size_t>(i)];
            store::Sighting s;
            s.key = {ResultSource::OpenPlatform, server::MaterialGateway::ItemId(item)};
            s.title = item.titleUtf8;
            s.price = item.priceCents * 2;
            memory.Watch(s, {}, {});
        }
        CNetEngine engine;
        Configuration cfg;
        cfg.appKey = "12345678";
        cfg.appSecret = "yfx-local-secret";
        CWatchService service(engine, memory, settings.database.path, nullptr);
        QSignalSpy alerts(&service, &CWatchService::alerts);
        QSignalSpy checked(&service, &CWatchService::checked);

        // Due at start but without keys yet (the keyring answers later): nothing is asked and
        // nothing is tried again until the keys come, which start the check at once.
        service.Start();
        QVERIFY(checked.wait(5000));
        QVERIFY(!service.LastOutcome().problem.empty());
        QCoreApplication::processEvents(); // a check scheduled anew at once would run now
        QCoreApplication::processEvents();
        QCOMPARE(checked.count(), 1);
        QCOMPARE(server.Requests().size(), std::size_t{0});
        checked.clear();
        service.SetConfiguration(cfg);
        QCOMPARE(service.CurrentState(), CWatchService::State::Checking);
        QVERIFY(checked.wait(20000));
        QCOMPARE(alerts.count(), 1);
        const auto told = alerts.at(0).at(0).value<std::vector<store::PriceAlert>>();
        QCOMPARE(told.size(), std::size_t{3});
        QVERIFY(service.LastCheck() > 0);
        QCOMPARE(service.CurrentState(), CWatchService::State::Idle);

        // another program's check holds the lock: the service waits, the thread goes on
        const std::size_t asked = server.Requests().size();
        watch::CCheckLock other(watch::CCheckLock::PathFor(settings.database.path));
        bool waited = false;
        std::string problem;
        QVERIFY(other.Lock(waited, problem));
        service.CheckNow(); // returns at once: the lock is tried again each second
        QCOMPARE(service.CurrentState(), CWatchService::State::Waiting);
        QCOMPARE(checked.count(), 1);
        other.SetLastCheck(12345);
        other.Unlock(); // the other check ends: not repeated
        QVERIFY(checked.wait(5000));
        QCOMPARE(service.CurrentState(), CWatchService::State::Idle);
        QCOMPARE(server.Requests().size(), asked);
        QCOMPARE(alerts.count(), 1);
        QCOMPARE(service.LastCheck(), std::int64_t{12345});
    }
};

QTEST_GUILESS_MAIN(WatchServiceTest)
#include "WatchServiceTest.moc"
