#include "StoreTestSupport.h"

#include <SQLiteCpp/Database.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace yfx::test {

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "yfx-store-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp");
    m_path = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ec;
    // a test may have taken the access away
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(m_path, ec);
}

store::Sighting MakeSighting(const std::string& id, std::int64_t price, std::int64_t postage)
{
    store::Sighting s;
    s.key = {ResultSource::ListSearch, id};
    s.title = "商品 " + id;
    s.picture = "http://127.0.0.1:9/pic/" + id + ".jpg";
    s.page = "http://127.0.0.1:9/item.htm?id=" + id;
    s.shop = "小店";
    s.price = price;
    s.postage = postage;
    return s;
}

CTBRecord MakeRecord(const std::string& id, const std::string& price, const std::string& ship,
                     const std::string& titleGbk)
{
    CTBRecord r;
    r.SetValue(CTBRecord::ItemId, id);
    r.SetValue(CTBRecord::CurrentPrice, price);
    r.SetValue(CTBRecord::Ship, ship);
    r.SetValue(CTBRecord::Tip, titleGbk);
    r.SetValue(CTBRecord::Nick, "\xC6\xEC\xBD\xA2\xB5\xEA"); // GBK "旗舰店"
    r.SetValue(CTBRecord::TradeNum, "1,523");
    r.SetValue(CTBRecord::Href, "http://127.0.0.1:9/item.htm?id=" + id);
    r.SetValue(CTBRecord::OriginalImage, "http://127.0.0.1:9/pic/" + id + ".jpg");
    return r;
}

std::string QueryText(const std::string& path, const std::string& sql)
{
    try {
        SQLite::Database db(path, SQLite::OPEN_READONLY, 2000);
        return db.execAndGet(sql).getString();
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace yfx::test
