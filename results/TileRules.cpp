#include "results/TileRules.h"

#include "market/Gbk.h"
#include "market/OpenPlatformAnswer.h"
#include "results/NumberText.h"

#include <algorithm>
#include <climits>

namespace yfx {

int CreditLevel(std::string_view ratesum)
{
    return static_cast<int>(std::clamp<long>(LeadingLong(ratesum), INT_MIN, INT_MAX));
}

unsigned BadgeIdFor(std::string_view ratesum, const BadgeTable& table)
{
    return table.ForLevel(CreditLevel(ratesum));
}

std::string CouponLabelText(const CTBRecord& record)
{
    static const std::string prefix = Utf8ToGb18030("券 ¥");
    return record.couponFee.empty() ? std::string() : prefix + record.couponFee;
}

std::string CouponToolTipText(const CTBRecord& record)
{
    static const std::string prefix = Utf8ToGb18030("券后价 ¥");
    if (record.couponFee.empty() || record.finalPrice.empty())
        return std::string();
    return prefix + record.finalPrice;
}

std::string BoundedPriceLabelText(const CTBRecord& record)
{
    static const std::string prefix = Utf8ToGb18030("到手价 ¥");
    if (record.source != ResultSource::OpenPlatform || record.finalPrice.empty() ||
        &BoundedPrice(record) != &record.finalPrice)
        return std::string();
    if (LeadingDouble(record.finalPrice) == LeadingDouble(record.currentPrice()))
        return std::string(); // the price shown is the one bounded
    return prefix + record.finalPrice;
}

std::string CreditLevelWords(std::string_view ratesum)
{
    const int level = CreditLevel(ratesum);
    if (level < 1 || level > 20)
        return std::string();
    static const char* const kinds[] = {"心", "钻", "皇冠", "金冠"};
    return std::to_string((level - 1) % 5 + 1) + kinds[(level - 1) / 5];
}

std::string ItemDescription(const CTBRecord& record, const std::string& marker)
{
    std::string text = "价格 ¥" + GbkToUtf8(record.currentPrice()) + "，邮费 ¥" + GbkToUtf8(record.ship()) +
                       "，销量 " + GbkToUtf8(record.tradeNum());
    const std::string credit = CreditLevelWords(record.ratesum());
    if (!credit.empty())
        text += "，信用 " + credit;
    for (const std::string& gbk : {CouponLabelText(record), CouponToolTipText(record), BoundedPriceLabelText(record)})
        if (!gbk.empty())
            text += "，" + GbkToUtf8(gbk);
    if (!marker.empty())
        text += "，" + marker;
    return text;
}

bool HasItemLink(const CTBRecord& record)
{
    return record.source != ResultSource::OpenPlatform || !record.href().empty();
}

TileArea HitArea(int px, int py, const TileRect& picture, const TileRect& name)
{
    if (picture.Contains(px, py))
        return TileArea::Picture;
    if (name.Contains(px, py))
        return TileArea::Name;
    return TileArea::None;
}

HoverLook HoverFor(TileArea area, bool linked)
{
    HoverLook look;
    if (!linked) {
        look.noLinkNote = area != TileArea::None;
        return look;
    }
    look.handCursor = area != TileArea::None;
    look.nameHighlight = area == TileArea::Name;
    look.pictureHover = area == TileArea::Picture;
    return look;
}

} // namespace yfx
