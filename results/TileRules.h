#pragma once
// The decisions of an item tile that need no window: the credit badge of a seller, the coupon
// label and tooltip, which area of the tile a point is in, what the pointer over an area
// shows, and whether a release opens the item.
#include "market/AppState.h"
#include "market/TBRecord.h"

#include <string>
#include <string_view>

namespace yfx {

// The seller's credit level: `ratesum` read with LeadingLong (leading white space and a sign
// allowed; no digits: 0), clamped to the int range.
int CreditLevel(std::string_view ratesum);

// The badge resource id for `ratesum`: the table's id for levels 1..20, 0 (no badge) for any
// other level.
unsigned BadgeIdFor(std::string_view ratesum, const BadgeTable& table);

// The coupon label over the picture (GBK): "券 ¥" followed by the record's couponFee as sent;
// empty when the record has no coupon.
std::string CouponLabelText(const CTBRecord& record);

// The tile's tooltip (GBK): "券后价 ¥" followed by the record's finalPrice as sent, for a record
// with a coupon and a price after it; empty otherwise.
std::string CouponToolTipText(const CTBRecord& record);

// The price label under the picture (GBK): "到手价 ¥" followed by the record's finalPrice as
// sent, for a record of the open platform whose finalPrice is the price its search bounds apply
// to (BoundedPrice, OpenPlatformAnswer.h) and differs from the price shown; empty otherwise.
std::string BoundedPriceLabelText(const CTBRecord& record);

// The seller's credit level in words (UTF-8), as the badge of that level shows it: levels 1-5
// "1心".."5心" (red hearts), 6-10 "1钻".."5钻" (blue diamonds), 11-15 "1皇冠".."5皇冠" (blue
// crowns), 16-20 "1金冠".."5金冠" (gold crowns); empty for a level without a badge.
std::string CreditLevelWords(std::string_view ratesum);

// What a screen reader says of an item besides its title (UTF-8): "价格 ¥x，邮费 ¥y，销量 n",
// then "，信用 <CreditLevelWords>" when the level has a badge, then the tile's coupon label and
// coupon tooltip, its bounded-price label and `marker` (the price marker's whole text, UTF-8),
// each where there is one, joined by "，". Amounts as the record sends them.
std::string ItemDescription(const CTBRecord& record, const std::string& marker);

// True when a click on the tile can open something: a record of the list search always can
// (the click asks for its affiliate address, else opens its page); one of the open platform
// only with its affiliate address (its href), which an item answered without its id lacks.
bool HasItemLink(const CTBRecord& record);

// A rectangle in the tile's client coordinates; the right and bottom edges lie outside.
struct TileRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

enum class TileArea { None, Picture, Name };

// The area a point lies in: the picture's rectangle, else the name's, else none.
TileArea HitArea(int px, int py, const TileRect& picture, const TileRect& name);

// What the tile shows while the pointer is in `area`.
struct HoverLook {
    bool handCursor = false;    // hand cursor (else the arrow)
    bool nameHighlight = false; // name in RGB 225, 145, 100 and underlined
    bool pictureHover = false;  // darker picture frame
    bool noLinkNote = false;    // the grey note "无推广链接" over the picture
};
// `linked`: HasItemLink of the record shown. Without a link the picture and the name show the
// note in place of the hand cursor and the highlights.
HoverLook HoverFor(TileArea area, bool linked = true);

} // namespace yfx
