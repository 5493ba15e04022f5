#include "app/CHeadlessCheck.h"

#include "app/CAssistantBus.h"
#include "app/CDesktopNotifier.h"
#include "app/CSecretStore.h"
#include "market/Endpoints.h"
#include "market/Gbk.h"
#include "res/GbkText.h"
#include "market/LocalConfiguration.h"
#include "market/NetEngine.h"
#include "store/CPriceStore.h"
#include "store/StoreFile.h"
#include "watch/CWatchCheck.h"
#include "watch/CheckLock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <future>

namespace yfx {

namespace {

int Fail(const std::string& utf8)
{
    std::fprintf(stderr, "yuefengxuan: --check-watched: %s\n", utf8.c_str());
    std::fflush(stderr);
    return 1;
}

std::string Yuan(std::int64_t cents)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(cents / 100), static_cast<long long>(cents % 100));
    return buf;
}

// The configuration from the local files, the kept configuration document and the keyring,
// as the main frame composes it at start before a document has come.
bool Compose(Configuration& cfg, std::string& problem)
{
    const XdgFolders folders = XdgFoldersNow();
    std::vector<LocalConfigFile> local;
    std::vector<std::string> files;
    if (!folders.userConfigFile.empty())
        files.push_back(folders.userConfigFile);
    files.insert(files.end(), folders.systemConfigFiles.begin(), folders.systemConfigFiles.end());
    for (const std::string& path : files) {
        LocalConfigFile file;
        ReadLocalConfigFile(path, file);
        local.push_back(std::move(file));
    }
    // the configuration server's document as the last run of the program kept it
    const DataSource chosen = ChosenDataSource(local);
    const bool serverCounts = chosen == DataSource::Unset || chosen == DataSource::Server;
    SetEndpointConfigured(Endpoint::Config, serverCounts ? ChosenConfigServer(local) : std::string());
    ConfigurationLayer remote;
    std::string bytes;
    bool missing = false;
    if (!folders.cacheFolder.empty() &&
        ReadSmallFile(folders.cacheFolder + "/" + kCachedConfigDocument, kMaxConfigurationBytes + 4096, bytes, missing)) {
        const std::size_t eol = bytes.find('\n');
        if (eol != std::string::npos && bytes.compare(0, eol, ConfigDocumentUrl()) == 0)
            ReadConfigurationLayer(0, bytes.substr(eol + 1), remote);
    }
    cfg = MergeConfiguration(local, remote, false);
    cfg.buyerIp = GbkFromQString(QSettings().value(QStringLiteral("openPlatform/ip")).toString());
    if (SecretFromKeyring(local, false)) {
        QEventLoop loop;
        CSecretStore::Answer answer;
        CSecretStore::Read(QStringFromGbk(cfg.appKey), &loop, [&](const CSecretStore::Answer& a) {
            answer = a;
            loop.quit();
        });
        loop.exec();
        if (answer.outcome != CSecretStore::Outcome::Ok) {
            problem = answer.outcome == CSecretStore::Outcome::NotFound
                          ? "系统钥匙环中没有 AppKey " + GbkToUtf8(cfg.appKey) + " 的 AppSecret"
                          : "无法从系统钥匙环读取 AppSecret（" + answer.error.toStdString() + "）";
            return false;
        }
        cfg.appSecret = GbkFromQString(answer.secret);
    }
    if (cfg.appKey.empty() || cfg.appSecret.empty()) {
        problem = "没有开放平台的 AppKey 和 AppSecret（请在首选项的“数据源”中填写）";
        return false;
    }
    return true;
}

} // namespace

void TellHeadlessAlerts(const std::vector<store::PriceAlert>& alerts)
{
    // one line per drop for the journal, and the desktop's notices
    for (const store::PriceAlert& a : alerts)
        std::printf("降价提醒：%s ¥%s → ¥%s\n", a.title.c_str(), Yuan(a.before).c_str(), Yuan(a.now).c_str());
    std::fflush(stdout);
    if (alerts.empty())
        return;
    CDesktopNotifier notifier;
    // "查看" goes to the running program, else the browser (or the program is started)
    CHeadlessOpener opener(&notifier, QCoreApplication::applicationFilePath());
    QObject::connect(&notifier, &CDesktopNotifier::unanswered, [](const QString&) {
        std::fprintf(stderr, "yuefengxuan: --check-watched: 桌面通知服务没有应答，降价只写在上面\n");
        std::fflush(stderr);
    });
    notifier.Tell(alerts);
    // the notices' actions are this process's to carry out while they are shown
    notifier.WaitUntilSettled(kNoticeWaitMs);
}

int RunHeadlessCheck()
{
    Configuration cfg;
    std::string problem;
    if (!Compose(cfg, problem))
        return Fail(problem);

    store::CPriceStore::Settings settings;
    settings.database.path = store::DefaultStorePath();
    std::promise<store::StoreStatus> opened;
    store::CPriceStore memory(settings, [&opened, first = true](const store::StoreStatus& s) mutable {
        if (first)
            opened.set_value(s);
        first = false;
    });
    const store::StoreStatus status = opened.get_future().get();
    if (status.state == store::StoreStatus::State::Unavailable)
        return Fail("价格记忆不可用：" + status.message);

    watch::CCheckLock lock(watch::CCheckLock::PathFor(settings.database.path));
    bool waited = false;
    if (!lock.Lock(waited, problem))
        return Fail(problem);
    if (waited) {
        std::printf("another check has just finished: not checked again\n");
        return 0;
    }

    watch::CWatchCheck::Settings checkSettings;
    checkSettings.config = cfg;
    checkSettings.dropPercent = std::clamp(QSettings().value(QStringLiteral("watch/dropPercent"), 5).toInt(), 1, 90);
    std::promise<watch::CheckOutcome> ended;
    watch::CheckOutcome outcome;
    {
        CNetEngine engine;
        watch::CWatchCheck check(engine, memory, std::move(checkSettings));
        check.Start([&ended](watch::CheckOutcome o) { ended.set_value(std::move(o)); });
        outcome = ended.get_future().get();
    }
    lock.SetLastCheck(static_cast<std::int64_t>(std::time(nullptr)));
    lock.Unlock();
    TellHeadlessAlerts(outcome.alerts);
    std::printf("checked %d watched items: %d found, %d gone, %zu alerts, %d requests\n", outcome.items, outcome.found,
                outcome.gone, outcome.alerts.size(), outcome.requests);
    std::fflush(stdout);
    if (!outcome.complete && outcome.found == 0 && outcome.items > 0)
        return Fail(outcome.problem);
    if (!outcome.problem.empty())
        std::fprintf(stderr, "yuefengxuan: --check-watched: %s\n", outcome.problem.c_str());
    return 0;
}

} // namespace yfx
