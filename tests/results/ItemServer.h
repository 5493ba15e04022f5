#pragma once
// A loopback marketplace for the results tests (cpp-httplib in the test process): list
// answers in GBK JSON, JPEG item pictures of one colour each, and the open-platform gateway's
// click addresses. Picture answers can be slowed down or held back half-way.
#include "LocalHttpServer.h"

#include <QByteArray>
#include <QColor>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct ItemSpec {
    std::string id; // also names the picture: "<id>.jpg"
    std::string price = "10.00";
    std::string ship = "0.00";
    std::string tradeNum = "5";
    std::string nick = "seller";
    std::string ratesum = "3";
    std::string tip = "\xCA\xD6\xBB\xFA"; // GBK "手机"
    std::string href;                     // default: <base>/item.htm?id=<id>
    std::string originalImage;            // default: <base>/pic/<id>.jpg
    std::string image;                    // default: <base>/img/<id>.jpg
};

class ItemServer {
public:
    ItemServer();
    ~ItemServer();

    std::string Base() const { return m_http.Base(); }
    // Serves `items` at /list/<name> and their pictures; returns the list address. With a
    // `pageSize`, the address gives the first pageSize items and "<address>&s=N" the pageSize
    // from N on, as the marketplace pages; without, it gives them all and a later page nothing.
    std::string AddList(const std::string& name, const std::vector<ItemSpec>& items, std::size_t pageSize = 0);
    // How often "/list/<name>" (with "&s=N" for a later page) was asked for.
    int ListRequests(const std::string& pathAndPage);
    // The colour of an item's pictures (thumbnail and second picture alike).
    static QColor ColourOf(const std::string& id);
    // The local file name the program derives for an item of this server.
    static std::string ThumbFileName(const std::string& id) { return id + ".jpg_220x220.jpg"; }

    // Every picture answer waits this long first.
    void SetPictureLatency(std::chrono::milliseconds latency)
    {
        m_latencyMs = static_cast<int>(latency.count());
    }
    // Picture answers send half their body and then wait until Release() (or 20 s).
    void HoldPictures(bool hold);
    void Release();
    // Picture requests that began, and those whose answer was written out entirely.
    int PicturesStarted() const { return m_started.load(); }
    int PicturesFinished() const { return m_finished.load(); }

    // The gateway answers this click address for the item ("" : an empty detail list).
    void SetClickUrl(const std::string& itemId, const std::string& clickUrl);
    int GatewayRequests() const { return m_gateway.load(); }
    // Gateway answers wait this long first; GatewayAnswers counts those written out.
    void SetGatewayDelay(std::chrono::milliseconds delay) { m_gatewayDelayMs = static_cast<int>(delay.count()); }
    int GatewayAnswers() const { return m_gatewayAnswers.load(); }

    size_t Connections() { return m_http.Connections(); }
    std::vector<LocalHttpServer::Seen> Requests() { return m_http.Requests(); }

private:
    std::mutex m_mutex;
    struct List {
        std::vector<std::string> elements; // JSON objects of the items
        std::size_t pageSize = 0;
    };
    std::map<std::string, List> m_lists; // path -> items
    std::map<std::string, int> m_listRequests;
    std::map<std::string, QByteArray> m_pictures; // path -> JPEG
    std::map<std::string, std::string> m_clickUrls;
    std::condition_variable m_released;
    bool m_hold = false;
    std::atomic<int> m_latencyMs{0};
    std::atomic<int> m_started{0};
    std::atomic<int> m_finished{0};
    std::atomic<int> m_gateway{0};
    std::atomic<int> m_gatewayDelayMs{0};
    std::atomic<int> m_gatewayAnswers{0};
    LocalHttpServer m_http; // last: its handlers use what is above, so it stops first
};
