#include "ItemServer.h"

#include <QBuffer>
#include <QImage>

#include <thread>

namespace {

std::string JsonString(const std::string& bytes)
{
    // Byte-wise escaping keeps GBK intact (a trail byte 0x5C becomes "\\", read back as 0x5C).
    std::string out = "\"";
    for (char c : bytes) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

QByteArray Jpeg(const QColor& colour)
{
    QImage image(220, 220, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    return bytes;
}

} // namespace

ItemServer::ItemServer()
{
    httplib::Server& s = m_http.server();
    s.set_keep_alive_max_count(100000); // one connection may carry every picture of a view
    s.Get(R"(/list/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        // "/list/<name>" and, for a later page, "/list/<name>&s=<offset>"
        const std::size_t mark = req.path.find("&s=");
        const std::string path = req.path.substr(0, mark);
        const std::size_t offset = mark == std::string::npos ? 0 : std::stoul(req.path.substr(mark + 3));
        std::lock_guard lock(m_mutex);
        ++m_listRequests[req.path];
        const auto it = m_lists.find(path);
        if (it == m_lists.end()) {
            res.status = 404;
            return;
        }
        const List& list = it->second;
        const std::size_t size = list.pageSize ? list.pageSize : list.elements.size();
        std::string json = "{\"itemList\":[";
        for (std::size_t i = offset; i < list.elements.size() && i < offset + size && (list.pageSize || !offset); ++i)
            json += (i > offset ? "," : "") + list.elements[i];
        res.set_content(json + "]}", "application/json; charset=GBK");
    });
    s.Get(R"(/(pic|img)/.*)", [this](const httplib::Request& req, httplib::Response& res) {
        ++m_started;
        QByteArray body;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_pictures.find(req.path);
            if (it == m_pictures.end()) {
                res.status = 404;
                ++m_finished;
                return;
            }
            body = it->second;
        }
        if (const int ms = m_latencyMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        const auto size = static_cast<size_t>(body.size());
        res.set_content_provider(
            size, "image/jpeg", [this, body](size_t offset, size_t length, httplib::DataSink& sink) {
                const size_t half = static_cast<size_t>(body.size()) / 2;
                if (offset >= half) {
                    std::unique_lock lock(m_mutex);
                    m_released.wait_for(lock, std::chrono::seconds(20), [this] { return !m_hold; });
                }
                // Up to the middle first, so that a held answer stops half-way.
                const size_t end = offset < half ? half : offset + length;
                if (!sink.write(body.constData() + offset, end - offset))
                    return false;
                if (end == static_cast<size_t>(body.size()))
                    ++m_finished;
                return true;
            });
    });
    s.Get("/router/rest", [this](const httplib::Request& req, httplib::Response& res) {
        ++m_gateway;
        if (const int ms = m_gatewayDelayMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        const std::string id = req.get_param_value("num_iids");
        std::string click;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_clickUrls.find(id);
            if (it != m_clickUrls.end())
                click = it->second;
        }
        const std::string detail = click.empty() ? "[]" : "[{\"click_url\":" + JsonString(click) + "}]";
        res.set_content(
            "{\"taobaoke_items_detail_get_response\":{\"taobaoke_item_details\":{\"taobaoke_item_detail\":" +
                detail + "}}}",
            "application/json");
        ++m_gatewayAnswers;
    });
    m_http.Start();
}

ItemServer::~ItemServer()
{
    Release();
}

QColor ItemServer::ColourOf(const std::string& id)
{
    size_t h = std::hash<std::string>{}(id);
    return QColor::fromHsv(static_cast<int>(h % 360), 200, 40 + static_cast<int>((h / 360) % 180));
}

int ItemServer::ListRequests(const std::string& pathAndPage)
{
    std::lock_guard lock(m_mutex);
    return m_listRequests[pathAndPage];
}

std::string ItemServer::AddList(const std::string& name, const std::vector<ItemSpec>& items, std::size_t pageSize)
{
    const std::string base = Base();
    List list;
    list.pageSize = pageSize;
    std::map<std::string, QByteArray> pictures;
    for (size_t i = 0; i < items.size(); ++i) {
        const ItemSpec& it = items[i];
        const std::string original =
            it.originalImage.empty() ? base + "/pic/" + it.id + ".jpg" : it.originalImage;
        const std::string image = it.image.empty() ? base + "/img/" + it.id + ".jpg" : it.image;
        const std::string href = it.href.empty() ? base + "/item.htm?id=" + it.id : it.href;
        list.elements.push_back("{\"originalImage\":" + JsonString(original) + ",\"image\":" + JsonString(image) +
                ",\"tip\":" + JsonString(it.tip) + ",\"currentPrice\":" + JsonString(it.price) +
                ",\"ship\":" + JsonString(it.ship) + ",\"tradeNum\":" + JsonString(it.tradeNum) +
                ",\"nick\":" + JsonString(it.nick) + ",\"itemId\":" + JsonString(it.id) +
                ",\"href\":" + JsonString(href) + ",\"ratesum\":" + JsonString(it.ratesum) + "}");
        const QByteArray jpeg = Jpeg(ColourOf(it.id));
        pictures["/pic/" + it.id + ".jpg_220x220.jpg"] = jpeg;
        pictures["/img/" + it.id + ".jpg"] = jpeg;
    }
    std::lock_guard lock(m_mutex);
    m_lists["/list/" + name] = std::move(list);
    m_pictures.merge(pictures);
    return base + "/list/" + name;
}

void ItemServer::HoldPictures(bool hold)
{
    std::lock_guard lock(m_mutex);
    m_hold = hold;
    if (!hold)
        m_released.notify_all();
}

void ItemServer::Release()
{
    HoldPictures(false);
}

void ItemServer::SetClickUrl(const std::string& itemId, const std::string& clickUrl)
{
    std::lock_guard lock(m_mutex);
    m_clickUrls[itemId] = clickUrl;
}
