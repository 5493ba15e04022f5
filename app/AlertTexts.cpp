#include "app/AlertTexts.h"

#include "market/TBRecord.h"
#include "results/PriceMarker.h"
#include "store/Sighting.h"

namespace yfx {

std::string AlertTitle()
{
    return "降价提醒";
}

std::string AlertBody(const store::PriceAlert& alert)
{
    std::string body = alert.title.empty() ? std::string("关注的商品") : alert.title;
    body += " " + YuanText(alert.before) + " → " + YuanText(alert.now);
    if (alert.target)
        body += "（目标 " + YuanText(*alert.target) + "）";
    return body;
}

std::string AlertsSummaryBody(std::size_t count)
{
    return std::to_string(count) + " 件关注的商品降价了";
}

std::string AlertsBody(const std::vector<store::PriceAlert>& alerts)
{
    if (alerts.empty())
        return {};
    return alerts.size() == 1 ? AlertBody(alerts.front()) : AlertsSummaryBody(alerts.size());
}

std::string LargerPictureFileName(const std::string& pictureAddress)
{
    return store::PictureFileOf(pictureAddress, kLargeThumbnailEdge);
}

std::string PictureFileName(const std::string& pictureAddress)
{
    return store::PictureFileOf(pictureAddress, kThumbnailEdge);
}

} // namespace yfx
