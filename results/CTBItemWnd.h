#pragma once
// An item tile: one search result with its picture, price, postage, name, sales count and
// seller-credit badge on a white ground, built from dialog template 311. Pointing at the
// picture or the name highlights it; a click on either opens the item in the default
// browser through its affiliate click address, else its own page. An item of the open
// platform's source brings its affiliate address and may bring a coupon: a red label over the
// picture's top-left corner and the price after the coupon as the tile's tooltip; the price its
// search bounds apply to (after coupons and promotions) is labelled over the picture's
// bottom-left corner when it is not the price shown. Such an item that came without its
// affiliate address opens nothing: pointing at it shows the grey note "无推广链接". What the
// price memory knows of the item comes later: a marker beside the price ("降¥x.xx", "涨¥x.xx",
// "历史最低") and a line of the tooltip. A right press asks for the tile's menu.
//
// GUI thread only.
#include "controls/CMyImageStatic.h"
#include "controls/CMyStatic.h"
#include "controls/CPictureEx.h"
#include "market/TBRecord.h"
#include "results/AsyncFetch.h"
#include "results/CCouponLabel.h"
#include "results/TileClick.h"
#include "store/StoreTypes.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <map>
#include <string>

namespace yfx::res {
struct DialogTemplate;
}

class CTBItemWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 311;
    static constexpr int kTileWidth = 232;
    static constexpr int kPictureSize = 228;
    // Control ids of template 311.
    enum ControlId {
        IDC_POSTAGE = 1001,
        IDC_PRICE = 1003,
        IDC_PICTURE = 1005,
        IDC_YUAN = 1007,
        IDC_POSTAGE_LABEL = 1009,
        IDC_NAME = 1011,
        IDC_SALES_LABEL = 1012,
        IDC_SALES = 1014,
        IDC_BADGE = 1016,
    };

    // What the tile's texts need, in pixels, in the fonts the tile draws them with: the
    // one-line size of each label's text and of each amount's template placeholder (by control
    // id), and the height of two lines of the name. Needs a QGuiApplication (font metrics).
    struct TextNeeds {
        std::map<int, QSize> text;
        int nameHeight = 0;
    };
    static TextNeeds MeasureTexts(const yfx::res::DialogTemplate& dlg, const QFont& dialogFont);
    // The font control `id` draws with: the template's dialog font, bold and 15 pixels high for
    // the three amounts. The application's font size plays no part, so the tile looks the same
    // on every desktop.
    static QFont TextFont(const QFont& dialogFont, int id);

    // Where the controls of the template sit in pixels for given dialog base units. The tile
    // is kTileWidth wide and the picture kPictureSize square at its template position; every
    // row below the picture keeps its dialog-unit distance from the picture's bottom edge
    // (so no text ever overlaps the picture, whatever the font), and the tile is tall enough
    // for every row and a badge of kBadgeHeight.
    // With `needs`, every control also holds its text: a label is at least as wide and every
    // text as high as its text needs, and a row that grows pushes the rows below it down; no
    // control reaches past the picture's right edge. The postage holds its placeholder against
    // that edge, its label just before it; the price reaches up to the postage label, the sales
    // count up to the badge, and the badge keeps room for the widest badge (kBadgeMaxWidth).
    struct Geometry {
        QSize tileSize;
        std::map<int, QRect> controls; // by control id
        int rowShift = 0;              // pixels added to every row below the picture
    };
    static constexpr int kBadgeHeight = 16;
    static constexpr int kBadgeMaxWidth = 88;
    static Geometry ComputeGeometry(const yfx::res::DialogTemplate& dlg, QSize baseUnits);
    static Geometry ComputeGeometry(const yfx::res::DialogTemplate& dlg, QSize baseUnits, const TextNeeds& needs);

    // What the picture loader needs of the record shown now. On a screen of a device pixel
    // ratio of kLargeThumbnailRatio or more (market/TBRecord.h) it is the larger thumbnail, with
    // no second address: the ordinary thumbnail (with the record's second address) is what a
    // failed larger one falls back to (UseOrdinaryPicture).
    struct PictureAddresses {
        std::string thumbUrl;
        std::string image;
        std::string path; // local file (bytes as the file system takes them); empty: no picture
        bool large = false;
    };

    explicit CTBItemWnd(QWidget* parent = nullptr);
    ~CTBItemWnd() override;

    // Builds the controls from template 311 with the sizes and text styles of the tile; the
    // tile stays hidden. False when the template is missing (the tile is then unusable).
    bool Create();
    bool IsCreated() const { return m_bCreated; }

    // Binds a record: texts, badge, coupon label, tooltip and picture path change at once; the
    // picture shows once the picture loader has found or fetched its file and says it may be
    // shown (the picture control's FileReady), decoded off the GUI thread.
    // The price marker goes until the memory's summary of the new record is set.
    void SetRecord(const CTBRecord& record);
    // What the price memory knows of the record shown now (a summary of another item is
    // ignored): the marker beside the price, in the longest form that fits between the price's
    // text and the postage label (none when no form fits), and the tooltip's price line, which
    // starts with the marker's whole text when the tile shows less of it.
    void SetPriceSummary(const yfx::store::PriceSummary& summary);
    // The marker beside the price (hidden without one).
    CMyStatic& MarkerControl() { return m_marker; }
    // The tooltip's line about remembered prices, empty without one.
    const QString& PriceLine() const { return m_strPriceLine; }
    // The credit level of the record shown now has arrived: only the record's ratesum and the
    // badge change.
    void SetRatesum(const std::string& ratesum);
    const CTBRecord& Record() const { return m_record; }

    // The addresses of the record shown now.
    const PictureAddresses& PictureSource() const { return m_source; }
    // The larger thumbnail of the record shown now cannot be had: the tile shows the ordinary
    // one instead (its file not ready yet). False when the tile was not showing a larger one.
    bool UseOrdinaryPicture();
    // The picture file of the record shown now has been handled: repaint the picture.
    void PictureReady();

    // Asks for the affiliate click address and, when it comes, opens it, else the record's own
    // page, when it is a web address; after kClickWaitMs without an answer the record's page
    // opens and a later answer is dropped. The pointer shows the busy cursor meanwhile, and
    // a click while a request is pending opens nothing more. Returns at once. Does nothing
    // without a results host. A record of the open platform's source opens its href at once
    // (when it is a web address), without any request and with or without a host.
    void OpenItem();
    static constexpr int kClickWaitMs = 5000;
    // How long a click waits for its address (kClickWaitMs unless a test says otherwise).
    void SetClickWaitMs(int ms) { m_nClickWaitMs = ms; }
    // True while a click waits for its affiliate address.
    bool ClickPending() const { return m_clickFetch.Pending(); }

    // Hit areas in the tile's client coordinates.
    yfx::TileRect PictureArea() const;
    yfx::TileRect NameArea() const;

    // The controls, for the view and for tests.
    CMyImageStatic& PictureControl() { return m_picture; }
    CMyStatic& NameControl() { return m_name; }
    CMyStatic& PriceControl() { return m_price; }
    CMyStatic& PostageControl() { return m_postage; }
    CMyStatic& SalesControl() { return m_sales; }
    CMyStatic& YuanLabel() { return m_yuanLabel; }
    CMyStatic& PostageLabel() { return m_postageLabel; }
    CMyStatic& SalesLabel() { return m_salesLabel; }
    CPictureEx& BadgeControl() { return m_badge; }
    // The coupon label, a child of the picture control; hidden without a coupon.
    CCouponLabel& CouponLabel() { return m_coupon; }
    // The label of the price the open platform's bounds apply to ("到手价 ¥…"), over the
    // picture's bottom-left corner; hidden when it is the price shown.
    CCouponLabel& BoundedPriceLabel() { return m_boundedPrice; }
    // The grey note "无推广链接", over the picture while the pointer is on the picture or the
    // name of an item that has no link to open; hidden otherwise.
    CCouponLabel& NoLinkNote() { return m_noLink; }
    // The badge resource shown now, 0 for none.
    unsigned BadgeId() const { return m_nBadgeId; }

signals:
    // A right press on the tile: its owner shows the tile's menu at `globalPos`.
    void menuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    yfx::TileArea AreaAt(QPoint pos) const;
    void ShowHover(yfx::TileArea area);
    void ShowBadge();
    void UpdateToolTip();
    // Opens the click address, else the record's page; ends the wait.
    void FinishClick(const std::string& clickUrl);

    CTBRecord m_record;
    CMyStatic m_yuanLabel;
    CMyStatic m_price;
    CMyStatic m_postageLabel;
    CMyStatic m_postage;
    CMyStatic m_name;
    CMyImageStatic m_picture;
    CMyStatic m_sales;
    CMyStatic m_salesLabel;
    yfx::TileClick m_click; // m_bPressed
    CPictureEx m_badge;
    CCouponLabel m_coupon; // over the picture
    CCouponLabel m_boundedPrice;
    CCouponLabel m_noLink;
    CMyStatic m_marker;    // beside the price
    QString m_strPriceLine;

    PictureAddresses m_source;
    PictureAddresses m_ordinary; // the ordinary thumbnail, while m_source is the larger one
    QColor m_crNameText; // the name's colour when not pointed at
    unsigned m_nBadgeId = 0;
    bool m_bNameHighlight = false;
    bool m_bCreated = false;
    yfx::CAsyncFetch m_clickFetch;
    QTimer m_clickTimer;
    int m_nClickWaitMs = kClickWaitMs;
    yfx::TileArea m_hoverArea = yfx::TileArea::None;
};
