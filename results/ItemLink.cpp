#include "results/ItemLink.h"

#include "market/ClickUrl.h"
#include "res/GbkText.h"
#include "results/AsyncFetch.h"
#include "results/CTBItemWnd.h"
#include "results/ResultsHost.h"
#include "results/TileRules.h"
#include "results/UrlOpener.h"

#include <QTimer>

namespace yfx {

namespace {

// One gateway question and its wait, deleted once the item is opened.
class CItemLinkAsk : public QObject {
public:
    CItemLinkAsk(QObject* owner, CTBRecord record) : QObject(owner), m_record(std::move(record))
    {
        m_wait.setSingleShot(true);
        connect(&m_wait, &QTimer::timeout, this, [this] { Finish(std::string()); });
    }

    void Start(const Configuration& cfg)
    {
        net::Request request;
        request.url = BuildClickRequestUrl(cfg.pid, m_record.itemId(), cfg.appKey, cfg.appSecret);
        request.maxBytes = kMaxGatewayAnswerBytes;
        m_fetch.Start(this, std::move(request), [this](const net::Result& r) {
            Finish(r.code < 0 ? std::string() : ClickUrlFromAnswer(r.text));
        });
        m_wait.start(CTBItemWnd::kClickWaitMs);
    }

private:
    void Finish(const std::string& clickUrl)
    {
        m_wait.stop();
        m_fetch.Cancel();
        OpenUrl(QStringFromGbk(clickUrl.empty() ? m_record.href() : clickUrl)); // web addresses only
        deleteLater();
    }

    CTBRecord m_record;
    CAsyncFetch m_fetch;
    QTimer m_wait;
};

} // namespace

bool OpenItemByRule(QObject* owner, const CTBRecord& record)
{
    if (!HasItemLink(record))
        return false;
    IResultsHost* host = MainResultsHost();
    if (record.source == ResultSource::OpenPlatform || !host)
        return OpenUrl(QStringFromGbk(record.href()));
    (new CItemLinkAsk(owner, record))->Start(host->HostConfiguration());
    return true;
}

} // namespace yfx
