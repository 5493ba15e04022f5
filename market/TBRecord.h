#pragma once
// One item of a search result and the reading of a list-search answer into records.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "market/OpenPlatformTypes.h"

// The most records a list answer gives: an answer holds one page of items, and a results view
// shows no more tiles than this. Elements after it are not read.
constexpr std::size_t kMaxListRecords = 600;

// The longest list answer that is read. A page of 40 items is about 30 KB and 600 records of
// the marketplace's size about 450 KB; 1 MiB holds either with room to spare. A longer answer
// is refused before it is parsed, so the JSON reader's tree (up to about 55 bytes per byte of
// text for an answer of empty elements) stays near 55 MB at worst, and only while it is read.
constexpr std::size_t kMaxListAnswerBytes = std::size_t{1} << 20;

// The thumbnail edges the marketplace's picture hosts serve: the one a record's thumbUrl asks for,
// and a larger one of the same picture for screens of kLargeThumbnailRatio device pixels per
// logical pixel or more (an enlarged desktop), shown at the ordinary one's logical size.
constexpr int kThumbnailEdge = 220;
constexpr int kLargeThumbnailEdge = 460;
constexpr double kLargeThumbnailRatio = 1.5;

// The thumbnail edge for a screen of `ratio` device pixels per logical pixel: kLargeThumbnailEdge
// from kLargeThumbnailRatio on, else kThumbnailEdge (also for a ratio that is not a number).
int ThumbnailEdgeFor(double ratio);

// The address of a picture's thumbnail of `edge` pixels and the name of its local file.
struct ThumbnailAddress {
    std::string url;
    std::string fileName; // empty when the address's last element is no usable file name
};
// The thumbnail of `originalImage` with `edge` ("p.jpg" gives "p.jpg_220x220.jpg" for 220, see
// CTBRecord::DeriveThumbnail, "p.jpg_460x460.jpg" for 460). An address without a usable "."
// names no thumbnail: it is used unchanged for kThumbnailEdge and gives nothing (both empty)
// for any other edge, as there is no other size of it to ask for; nor does one whose last "."
// lies before its last "/" (the size would not be in the file name, and two sizes would share
// one local file).
ThumbnailAddress ThumbnailOf(const std::string& originalImage, int edge);

class CTBRecord {
public:
    enum Field { OriginalImage, Image, Tip, CurrentPrice, Ship, TradeNum, Nick, ItemId, Href, Ratesum, FieldCount };
    static constexpr int kKeySize = 260;

    CTBRecord();
    CTBRecord(const CTBRecord&) = default;
    CTBRecord& operator=(const CTBRecord&) = default;
    virtual ~CTBRecord() = default;

    // The JSON key of a field, from the record's own key buffer.
    const char* Key(int field) const { return m_keys[field]; }
    const std::string& Value(int field) const { return m_values[field]; }
    void SetValue(int field, std::string value) { m_values[field] = std::move(value); }

    // The ten values, both derived texts and the open-platform members below become empty (the
    // source back to ListSearch); the keys stay.
    void Clear();

    // Derives thumbUrl from originalImage (ThumbnailOf with kThumbnailEdge) and thumbFileName
    // from thumbUrl. A file name that
    // could leave the picture folder (empty, ".", "..", a '/' or NUL in it, or a backslash that
    // is a character of its own: the trail byte 0x5C of a GBK character such as "\x9C\x5C" is
    // not one) is unusable: thumbFileName then stays empty and the record gets no picture file.
    void DeriveThumbnail();

    const std::string& originalImage() const { return m_values[OriginalImage]; }
    const std::string& image() const { return m_values[Image]; }
    const std::string& tip() const { return m_values[Tip]; }
    const std::string& currentPrice() const { return m_values[CurrentPrice]; }
    const std::string& ship() const { return m_values[Ship]; }
    const std::string& tradeNum() const { return m_values[TradeNum]; }
    const std::string& nick() const { return m_values[Nick]; }
    const std::string& itemId() const { return m_values[ItemId]; }
    const std::string& href() const { return m_values[Href]; }
    const std::string& ratesum() const { return m_values[Ratesum]; }

    std::string thumbUrl;
    std::string thumbFileName;

    // Records of the open platform's material search (OpenPlatformAnswer.h) say so here: their
    // href is already the affiliate address, to be opened as it is without a gateway request.
    ResultSource source = ResultSource::ListSearch;
    std::string couponFee;  // the item's coupon ("商品券") in yuan, as sent ("10"); "" without one
    std::string finalPrice; // the price after the coupon and every other promotion; "" when not sent
    std::string sellerId;   // the seller's numeric id as sent (digits); "" when not sent

private:
    char m_keys[FieldCount][kKeySize];
    std::string m_values[FieldCount];
};

// Fetches a list-search address and reads the "itemList" array of its JSON answer into
// records. The vector is emptied first. False when the fetch failed, the answer is longer
// than kMaxListAnswerBytes or is not JSON (both reported through the error reporter), its
// root is null, or memory ran out while reading (silent); true otherwise, also for no items.
// Values that are numbers read as the text the server sent; arrays and objects read as the
// empty text; a null element gives a record with every value empty; other elements that are
// not objects give no record. At most kMaxListRecords records, however long the list; memory
// is never reserved by the count the answer claims. Never throws.
bool LoadItemList(const std::string& url, std::vector<CTBRecord>& records);

// Reads an answer text that has already been fetched (the parsing half of LoadItemList).
bool ParseItemList(const std::string& text, std::vector<CTBRecord>& records);

// Refuses an answer that the network stopped taking at kMaxListAnswerBytes (`length`: the
// length it announced, -1 when it announced none), reported as ParseItemList reports a text
// that is too long. Always false.
bool RefuseLongItemList(std::int64_t length);

// Receives the report of an unreadable answer: caption (GBK "请与程序开发者联系") and the
// JSON reader's formatted error list. The default writes to standard error. Thread-safe.
using ErrorReporter = std::function<void(const std::string& caption, const std::string& text)>;
void SetErrorReporter(ErrorReporter reporter);
void ReportError(const std::string& caption, const std::string& text);
