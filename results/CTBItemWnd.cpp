#include "results/CTBItemWnd.h"

#include "market/ClickUrl.h"
#include "res/GbkText.h"
#include "res/Resources.h"
#include "results/PriceMarker.h"
#include "results/ResultsHost.h"
#include "results/TileRules.h"
#include "results/UrlOpener.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"

#include <QDate>
#include <QFile>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>

#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QColor kGround(255, 255, 255);
const QColor kAmount(255, 90, 68);
const QColor kNameHover(225, 145, 100);
const QColor kBoundedPriceGround(240, 120, 20); // orange beside the coupon's red
const QColor kNoLinkGround(150, 150, 150);
constexpr int kAmountPixels = 15;
constexpr int kTextSlack = 2;
constexpr int kCouponInset = 4; // where a full-size picture's top-left corner lies in its control
constexpr int kMarkerGap = 4;   // between the price's text, the marker and the postage label
const QColor kMarkerLower(0, 140, 70);
const QColor kMarkerHigher(120, 120, 120);
const QColor kMarkerLowest(230, 40, 40);

yfx::TileRect ToTileRect(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

QFont CTBItemWnd::TextFont(const QFont& dialogFont, int id)
{
    QFont font = dialogFont;
    if (id == IDC_PRICE || id == IDC_POSTAGE || id == IDC_SALES) {
        font.setWeight(QFont::Bold);
        font.setPixelSize(kAmountPixels);
    }
    return font;
}

CTBItemWnd::TextNeeds CTBItemWnd::MeasureTexts(const yfx::res::DialogTemplate& dlg, const QFont& dialogFont)
{
    // One unwrapped line as the text static lays it out (fallback fonts included), with two
    // pixels to spare for the rounding of glyph positions at fractional scales.
    auto lineSize = [](const QString& text, const QFont& font) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        return QSize(static_cast<int>(std::ceil(line.naturalTextWidth())) + kTextSlack,
                     static_cast<int>(std::ceil(line.height())));
    };
    TextNeeds needs;
    for (const yfx::res::DialogControl& c : dlg.controls) {
        if (c.id < 0 || c.text.isEmpty())
            continue;
        if (c.id == IDC_NAME) {
            // Two whole lines of a title mixing Chinese and Latin letters.
            needs.nameHeight = 2 * lineSize(QStringLiteral("名称 Ag"), TextFont(dialogFont, c.id)).height();
            continue;
        }
        needs.text[c.id] = lineSize(c.text, TextFont(dialogFont, c.id));
    }
    return needs;
}

CTBItemWnd::Geometry CTBItemWnd::ComputeGeometry(const yfx::res::DialogTemplate& dlg, QSize baseUnits)
{
    return ComputeGeometry(dlg, baseUnits, TextNeeds{});
}

CTBItemWnd::Geometry CTBItemWnd::ComputeGeometry(const yfx::res::DialogTemplate& dlg, QSize baseUnits,
                                                 const TextNeeds& needs)
{
    Geometry g;
    const yfx::res::DialogControl* picture = nullptr;
    for (const yfx::res::DialogControl& c : dlg.controls)
        if (c.id == IDC_PICTURE)
            picture = &c;

    // The picture is forced to kPictureSize at its template position: rows that the
    // template puts below it move by the same amount as its bottom edge.
    int shift = 0;
    int splitDu = -1;
    QRect picturePx;
    if (picture) {
        const QRect px = yfx::res::DialogUnitsToPixels(picture->rect, baseUnits);
        shift = (px.top() + kPictureSize) - (px.top() + px.height());
        splitDu = picture->rect.center().y();
        picturePx = QRect(px.topLeft(), QSize(kPictureSize, kPictureSize));
    }
    g.rowShift = shift;

    for (const yfx::res::DialogControl& c : dlg.controls) {
        if (c.id < 0)
            continue;
        QRect px = yfx::res::DialogUnitsToPixels(c.rect, baseUnits);
        if (&c == picture)
            px = picturePx;
        else if (picture && c.rect.top() > splitDu)
            px.translate(0, shift);
        g.controls[c.id] = px;
    }
    const int templateHeight =
        yfx::res::DialogUnitsToPixels(QRect(QPoint(0, 0), dlg.size), baseUnits).height();

    const bool fitTexts = !needs.text.empty() || needs.nameHeight > 0;
    int push = 0; // pixels the rows below a grown row move down
    if (fitTexts) {
        auto has = [&g](int id) { return g.controls.count(id) != 0; };
        const int edge = picture ? std::min(kTileWidth, picturePx.left() + kPictureSize) : kTileWidth;
        const int gap = std::max(1, yfx::res::DialogUnitsToPixels(QRect(0, 0, 1, 0), baseUnits).width());
        auto grow = [&](int id) {
            QRect& r = g.controls[id];
            const auto it = needs.text.find(id);
            if (it != needs.text.end())
                r.setSize(r.size().expandedTo(it->second));
        };
        auto endOf = [](const QRect& r) { return r.x() + r.width(); };

        // First row: currency sign, price, postage label, postage.
        if (has(IDC_YUAN))
            grow(IDC_YUAN);
        if (has(IDC_POSTAGE)) {
            grow(IDC_POSTAGE);
            QRect& postage = g.controls[IDC_POSTAGE];
            postage.moveLeft(std::min(postage.x(), edge - postage.width()));
            postage.setRight(edge - 1);
            if (has(IDC_POSTAGE_LABEL)) {
                grow(IDC_POSTAGE_LABEL);
                QRect& label = g.controls[IDC_POSTAGE_LABEL];
                label.moveLeft(std::min(label.x(), postage.x() - gap - label.width()));
            }
        }
        if (has(IDC_PRICE)) {
            QRect& price = g.controls[IDC_PRICE];
            const QSize need = needs.text.count(IDC_PRICE) ? needs.text.at(IDC_PRICE) : QSize();
            price.setHeight(std::max(price.height(), need.height()));
            if (has(IDC_YUAN))
                price.moveLeft(std::max(price.x(), endOf(g.controls[IDC_YUAN])));
            const int limit = has(IDC_POSTAGE_LABEL) ? g.controls[IDC_POSTAGE_LABEL].x() - gap : edge;
            price.setWidth(std::max(1, limit - price.x()));
        }
        // Last row: sales label, sales count, badge.
        if (has(IDC_BADGE)) {
            QRect& badge = g.controls[IDC_BADGE];
            badge.moveLeft(std::min(badge.x(), edge - kBadgeMaxWidth));
            badge.setHeight(std::max(badge.height(), kBadgeHeight));
        }
        if (has(IDC_SALES_LABEL))
            grow(IDC_SALES_LABEL);
        if (has(IDC_SALES)) {
            QRect& sales = g.controls[IDC_SALES];
            const QSize need = needs.text.count(IDC_SALES) ? needs.text.at(IDC_SALES) : QSize();
            sales.setHeight(std::max(sales.height(), need.height()));
            if (has(IDC_SALES_LABEL))
                sales.moveLeft(std::max(sales.x(), endOf(g.controls[IDC_SALES_LABEL])));
            const int limit = has(IDC_BADGE) ? g.controls[IDC_BADGE].x() - gap : edge;
            sales.setWidth(std::max(1, limit - sales.x()));
        }
        if (has(IDC_NAME)) {
            QRect& name = g.controls[IDC_NAME];
            name.setHeight(std::max(name.height(), needs.nameHeight));
        }
        for (auto& [id, r] : g.controls)
            if (id != IDC_PICTURE && endOf(r) > edge)
                r.setRight(edge - 1);

        // Rows in template order; a row that grew into the next one pushes it (and every row
        // after it) down.
        const std::vector<std::vector<int>> rows = {
            {IDC_YUAN, IDC_PRICE, IDC_POSTAGE_LABEL, IDC_POSTAGE}, {IDC_NAME}, {IDC_SALES_LABEL, IDC_SALES, IDC_BADGE}};
        int previousBottom = picture ? picturePx.top() + kPictureSize : 0;
        for (const std::vector<int>& row : rows) {
            int top = INT_MAX;
            for (int id : row)
                if (has(id))
                    top = std::min(top, g.controls[id].y());
            if (top == INT_MAX)
                continue;
            push = std::max(push, previousBottom - top);
            int bottom = 0;
            for (int id : row) {
                if (!has(id))
                    continue;
                g.controls[id].translate(0, push);
                bottom = std::max(bottom, g.controls[id].y() + g.controls[id].height());
            }
            previousBottom = bottom;
        }
    }

    int bottom = 0;
    for (const auto& [id, px] : g.controls) {
        const int h = id == IDC_BADGE ? std::max(px.height(), kBadgeHeight) : px.height();
        bottom = std::max(bottom, px.top() + h);
    }
    g.tileSize = QSize(kTileWidth, std::max(templateHeight + shift + push, bottom));
    return g;
}

CTBItemWnd::CTBItemWnd(QWidget* parent)
    : QWidget(parent), m_yuanLabel(this), m_price(this), m_postageLabel(this), m_postage(this), m_name(this),
      m_picture(this), m_sales(this), m_salesLabel(this), m_badge(this), m_coupon(&m_picture),
      m_boundedPrice(&m_picture), m_noLink(&m_picture), m_marker(this)
{
    m_marker.hide();
    hide();
    setMouseTracking(true);
    // The tile paints every pixel of its ground itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_crNameText = m_name.m_crText;
    // a click whose address has not come in time opens the item's own page
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, [this] {
        m_clickFetch.Cancel(); // an answer that comes later is dropped
        FinishClick(std::string());
    });
}

CTBItemWnd::~CTBItemWnd() = default;

bool CTBItemWnd::Create()
{
    const yfx::res::DialogTemplate* dlg = yfx::res::Dialog(kTemplateId);
    if (!dlg)
        return false;
    // The texts draw in the template's own font, never in the desktop's font size.
    const QFont dialogFont = yfx::res::DialogFont(*dlg);
    const Geometry g =
        ComputeGeometry(*dlg, yfx::res::DialogBaseUnits(dialogFont), MeasureTexts(*dlg, dialogFont));

    struct Binding {
        int id;
        QWidget* control;
        const char* name;
    };
    const Binding bindings[] = {
        {IDC_YUAN, &m_yuanLabel, "yuanLabel"},
        {IDC_PRICE, &m_price, "price"},
        {IDC_POSTAGE_LABEL, &m_postageLabel, "postageLabel"},
        {IDC_POSTAGE, &m_postage, "postage"},
        {IDC_NAME, &m_name, "name"},
        {IDC_PICTURE, &m_picture, "picture"},
        {IDC_SALES, &m_sales, "sales"},
        {IDC_SALES_LABEL, &m_salesLabel, "salesLabel"},
        {IDC_BADGE, &m_badge, "badge"},
    };
    for (const Binding& b : bindings) {
        b.control->setObjectName(QLatin1String(b.name));
        if (auto* text = qobject_cast<CMyStatic*>(b.control))
            text->SetFontDescription(dialogFont);
        const auto it = g.controls.find(b.id);
        if (it != g.controls.end())
            b.control->setGeometry(it->second);
    }
    for (const yfx::res::DialogControl& c : dlg->controls) {
        for (const Binding& b : bindings) {
            if (b.id == c.id && !c.text.isEmpty())
                if (auto* text = qobject_cast<CMyStatic*>(b.control))
                    text->SetText(c.text);
        }
    }
    resize(g.tileSize);

    for (CMyStatic* amount : {&m_price, &m_postage})
        amount->SetTextColor(kAmount);
    for (CMyStatic* bold : {&m_price, &m_postage, &m_sales}) {
        bold->SetWeight(QFont::Bold);
        bold->SetPixelHeight(kAmountPixels);
    }
    // The marketplace's texts are data: an '&' in a title is an ampersand, and a text too long
    // for its control ends in "…" instead of losing characters unseen.
    for (CMyStatic* data : {&m_price, &m_postage, &m_name, &m_sales})
        data->SetLiteral(true);
    m_crNameText = m_name.m_crText;
    m_coupon.setObjectName(QStringLiteral("couponLabel"));
    m_coupon.SetFontDescription(dialogFont);
    m_coupon.move(kCouponInset, kCouponInset);
    m_coupon.SetMaxWidth(m_picture.width() - 2 * kCouponInset);
    m_boundedPrice.setObjectName(QStringLiteral("boundedPriceLabel"));
    m_boundedPrice.SetGround(kBoundedPriceGround);
    m_boundedPrice.SetFontDescription(dialogFont);
    m_boundedPrice.SetMaxWidth(m_picture.width() - 2 * kCouponInset);
    m_noLink.setObjectName(QStringLiteral("noLinkNote"));
    m_noLink.SetGround(kNoLinkGround);
    m_noLink.SetFontDescription(dialogFont);
    m_noLink.SetText(QStringLiteral("无推广链接"));
    m_noLink.move((m_picture.width() - m_noLink.width()) / 2, (m_picture.height() - m_noLink.height()) / 2);
    m_noLink.hide();
    m_marker.setObjectName(QStringLiteral("priceMarker"));
    m_marker.SetFontDescription(dialogFont);
    m_marker.SetLiteral(true);
    m_marker.SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_bCreated = true;
    return true;
}

void CTBItemWnd::SetRecord(const CTBRecord& record)
{
    m_record = record;
    // One path for the control that reads the file and the download that writes it.
    const QString folder = QFile::decodeName(QByteArray::fromStdString(PictureFolder()));
    auto pathOf = [&](const std::string& fileName) {
        return fileName.empty() || folder.isEmpty()
                   ? std::string()
                   : QFile::encodeName(folder + yfx::QStringFromGbk(fileName)).toStdString();
    };
    m_ordinary = {record.thumbUrl, record.image(), pathOf(record.thumbFileName), false};
    m_source = m_ordinary;
    if (ThumbnailEdgeFor(devicePixelRatioF()) == kLargeThumbnailEdge) {
        const ThumbnailAddress large = ThumbnailOf(record.originalImage(), kLargeThumbnailEdge);
        if (!large.fileName.empty() && !m_ordinary.path.empty())
            m_source = {large.url, std::string(), pathOf(large.fileName), true};
    }
    if (!m_bCreated)
        return;

    // shown once the picture loader says the file is this record's (the control's FileReady)
    m_picture.SetImagePath(QFile::decodeName(QByteArray::fromStdString(m_source.path)), false,
                           m_source.large ? double(kLargeThumbnailEdge) / kThumbnailEdge : 1.0);
    m_price.SetText(yfx::QStringFromGbk(record.currentPrice()));
    m_postage.SetText(yfx::QStringFromGbk(record.ship()));
    m_name.SetText(yfx::QStringFromGbk(record.tip()));
    m_sales.SetText(yfx::QStringFromGbk(record.tradeNum()));
    m_coupon.SetText(yfx::QStringFromGbk(yfx::CouponLabelText(record)));
    m_boundedPrice.SetText(yfx::QStringFromGbk(yfx::BoundedPriceLabelText(record)));
    m_boundedPrice.move(kCouponInset, m_picture.height() - kCouponInset - m_boundedPrice.height());
    m_noLink.hide();
    m_marker.hide();
    m_strPriceLine.clear();
    UpdateToolTip();
    ShowBadge();
}

bool CTBItemWnd::UseOrdinaryPicture()
{
    if (!m_source.large)
        return false;
    m_source = m_ordinary;
    if (m_bCreated)
        m_picture.SetImagePath(QFile::decodeName(QByteArray::fromStdString(m_source.path)), false);
    return true;
}

void CTBItemWnd::UpdateToolTip()
{
    QStringList lines;
    const QString coupon = yfx::QStringFromGbk(yfx::CouponToolTipText(m_record));
    if (!coupon.isEmpty())
        lines << coupon;
    if (!m_strPriceLine.isEmpty())
        lines << m_strPriceLine;
    // the price is the server's text: shown as it is, never read as markup
    QString tip;
    for (const QString& line : lines)
        tip += QStringLiteral("<p style='white-space:pre'>") + line.toHtmlEscaped() + QStringLiteral("</p>");
    setToolTip(tip);
}

void CTBItemWnd::SetPriceSummary(const yfx::store::PriceSummary& summary)
{
    if (!m_bCreated || !(summary.key == yfx::store::KeyOf(m_record)))
        return;
    const yfx::store::CivilDate date = yfx::store::CivilFromDay(summary.lowestDay);
    const QString day = QLocale().toString(QDate(date.year, date.month, date.day), QLocale::ShortFormat);
    m_strPriceLine = QString::fromStdString(yfx::MarkerToolTip(summary, day.toStdString()));
    UpdateToolTip();

    const yfx::PriceMarker marker = yfx::ChooseMarker(summary);
    const std::vector<std::string> texts = yfx::MarkerTexts(marker);
    const QFontMetricsF markerFont(m_marker.m_logFont);
    std::vector<int> widths;
    for (const std::string& t : texts)
        widths.push_back(static_cast<int>(std::ceil(markerFont.horizontalAdvance(QString::fromStdString(t)))) + 1);
    const QRect price = m_price.geometry();
    const int priceRight =
        price.x() + static_cast<int>(std::ceil(QFontMetricsF(m_price.m_logFont).horizontalAdvance(m_price.Text())));
    const yfx::MarkerFit fit = yfx::FitMarker(priceRight, m_postageLabel.x() - kMarkerGap, kMarkerGap, widths);
    if (fit.text != 0 && !texts.empty()) {
        // the marker is shortened or left out: its whole text leads the tooltip's line
        m_strPriceLine = QString::fromStdString(texts.front()) + QStringLiteral(" · ") + m_strPriceLine;
        UpdateToolTip();
    }
    if (fit.text < 0) {
        m_marker.hide();
        return;
    }
    m_marker.SetTextColor(marker.kind == yfx::MarkerKind::Lower    ? kMarkerLower
                          : marker.kind == yfx::MarkerKind::Higher ? kMarkerHigher
                                                                   : kMarkerLowest);
    m_marker.SetText(QString::fromStdString(texts[static_cast<size_t>(fit.text)]));
    m_marker.setGeometry(fit.x, price.y(), fit.width, price.height());
    m_marker.show();
}

void CTBItemWnd::SetRatesum(const std::string& ratesum)
{
    m_record.SetValue(CTBRecord::Ratesum, ratesum);
    if (m_bCreated)
        ShowBadge();
}

void CTBItemWnd::ShowBadge()
{
    m_badge.setAccessibleName(QString::fromStdString(yfx::CreditLevelWords(m_record.ratesum())));
    const unsigned badge = yfx::BadgeIdFor(m_record.ratesum(), BadgeIds());
    if (badge != 0 && m_badge.LoadFromResource(static_cast<int>(badge))) {
        m_badge.Display();
        m_badge.show();
        m_nBadgeId = badge;
    } else {
        m_badge.ClearPicture();
        m_nBadgeId = 0;
    }
}

void CTBItemWnd::PictureReady()
{
    m_picture.update();
}

void CTBItemWnd::OpenItem()
{
    if (!yfx::HasItemLink(m_record))
        return; // an item the platform answered without its address: nothing to open
    if (m_record.source == ResultSource::OpenPlatform) {
        // the record's href is already its affiliate address
        yfx::OpenUrl(yfx::QStringFromGbk(m_record.href())); // opens web addresses only
        return;
    }
    IResultsHost* host = MainResultsHost();
    if (!host || m_clickFetch.Pending())
        return; // one click opens one page
    const Configuration& cfg = host->HostConfiguration();
    yfx::net::Request request;
    request.url = BuildClickRequestUrl(cfg.pid, m_record.itemId(), cfg.appKey, cfg.appSecret);
    request.maxBytes = kMaxGatewayAnswerBytes;
    m_clickFetch.Start(this, std::move(request), [this](const yfx::net::Result& r) {
        FinishClick(r.code < 0 ? std::string() : ClickUrlFromAnswer(r.text));
    });
    m_clickTimer.start(m_nClickWaitMs);
    ShowHover(m_hoverArea);
}

void CTBItemWnd::FinishClick(const std::string& clickUrl)
{
    m_clickTimer.stop();
    ShowHover(m_hoverArea);
    const std::string& address = clickUrl.empty() ? m_record.href() : clickUrl;
    yfx::OpenUrl(yfx::QStringFromGbk(address)); // opens web addresses only
}

yfx::TileRect CTBItemWnd::PictureArea() const
{
    return ToTileRect(m_picture.geometry());
}

yfx::TileRect CTBItemWnd::NameArea() const
{
    return ToTileRect(m_name.geometry());
}

yfx::TileArea CTBItemWnd::AreaAt(QPoint pos) const
{
    return yfx::HitArea(pos.x(), pos.y(), PictureArea(), NameArea());
}

void CTBItemWnd::ShowHover(yfx::TileArea area)
{
    m_hoverArea = area;
    const yfx::HoverLook look = yfx::HoverFor(area, yfx::HasItemLink(m_record));
    m_noLink.setVisible(look.noLinkNote);
    if (m_clickFetch.Pending())
        setCursor(Qt::BusyCursor); // the item opens when its address has come
    else
        setCursor(look.handCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (look.nameHighlight != m_bNameHighlight) {
        m_bNameHighlight = look.nameHighlight;
        m_name.SetTextColor(look.nameHighlight ? kNameHover : m_crNameText);
        m_name.SetUnderline(look.nameHighlight);
    }
    if (look.pictureHover != m_picture.m_bHover)
        m_picture.SetHover(look.pictureHover);
}

void CTBItemWnd::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), kGround);
}

void CTBItemWnd::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_click.Press(AreaAt(event->position().toPoint()));
    // Every press stays with the tile: a right press asks for the tile's own menu.
    event->accept();
    if (event->button() == Qt::RightButton && event->type() == QEvent::MouseButtonPress)
        emit menuRequested(event->globalPosition().toPoint());
}

void CTBItemWnd::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A second press in quick succession is a press like any other.
    mousePressEvent(event);
}

void CTBItemWnd::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && m_click.Release(AreaAt(event->position().toPoint())))
        OpenItem();
}

void CTBItemWnd::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    ShowHover(AreaAt(event->position().toPoint()));
}

void CTBItemWnd::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    ShowHover(yfx::TileArea::None);
    if (!m_clickFetch.Pending())
        setCursor(Qt::ArrowCursor);
}
