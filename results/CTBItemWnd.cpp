#include "results/CTBItemWnd.h"

#include "market/ClickUrl.h"
#include "res/GbkText.h"
#include "res/Resources.h"
#include "results/ResultsHost.h"
#include "results/TileRules.h"
#include "results/UrlOpener.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

const QColor kGround(255, 255, 255);
const QColor kAmount(255, 90, 68);
const QColor kNameHover(225, 145, 100);
constexpr int kAmountPixels = 15;

yfx::TileRect ToTileRect(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

CTBItemWnd::Geometry CTBItemWnd::ComputeGeometry(const yfx::res::DialogTemplate& dlg, QSize baseUnits)
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
    if (picture) {
        const QRect px = yfx::res::DialogUnitsToPixels(picture->rect, baseUnits);
        shift = (px.top() + kPictureSize) - (px.top() + px.height());
        splitDu = picture->rect.center().y();
    }
    g.rowShift = shift;

    int bottom = 0;
    for (const yfx::res::DialogControl& c : dlg.controls) {
        if (c.id < 0)
            continue;
        QRect px = yfx::res::DialogUnitsToPixels(c.rect, baseUnits);
        if (&c == picture)
            px.setSize(QSize(kPictureSize, kPictureSize));
        else if (picture && c.rect.top() > splitDu)
            px.translate(0, shift);
        g.controls[c.id] = px;
        const int h = c.id == IDC_BADGE ? std::max(px.height(), kBadgeHeight) : px.height();
        bottom = std::max(bottom, px.top() + h);
    }
    const int templateHeight =
        yfx::res::DialogUnitsToPixels(QRect(QPoint(0, 0), dlg.size), baseUnits).height();
    g.tileSize = QSize(kTileWidth, std::max(templateHeight + shift, bottom));
    return g;
}

CTBItemWnd::CTBItemWnd(QWidget* parent)
    : QWidget(parent), m_yuanLabel(this), m_price(this), m_postageLabel(this), m_postage(this), m_name(this),
      m_picture(this), m_sales(this), m_salesLabel(this), m_badge(this)
{
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
    const Geometry g = ComputeGeometry(*dlg, yfx::res::DialogBaseUnits(yfx::res::DialogFont(*dlg)));

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
    m_crNameText = m_name.m_crText;
    m_bCreated = true;
    return true;
}

void CTBItemWnd::SetRecord(const CTBRecord& record)
{
    m_record = record;
    QString path;
    std::string pathBytes;
    if (!record.thumbFileName.empty() && !PictureFolder().empty()) {
        // One path for the control that reads the file and the worker that writes it.
        path = QFile::decodeName(QByteArray::fromStdString(PictureFolder())) + yfx::QStringFromGbk(record.thumbFileName);
        pathBytes = QFile::encodeName(path).toStdString();
    }
    {
        std::lock_guard lock(m_recordMutex);
        m_source.thumbUrl = record.thumbUrl;
        m_source.image = record.image();
        m_source.path = std::move(pathBytes);
    }
    if (!m_bCreated)
        return;

    m_picture.SetImagePath(path);
    m_price.SetText(yfx::QStringFromGbk(record.currentPrice()));
    m_postage.SetText(yfx::QStringFromGbk(record.ship()));
    m_name.SetText(yfx::QStringFromGbk(record.tip()));
    m_sales.SetText(yfx::QStringFromGbk(record.tradeNum()));

    const unsigned badge = yfx::BadgeIdFor(record.ratesum(), BadgeIds());
    if (badge != 0 && m_badge.LoadFromResource(static_cast<int>(badge))) {
        m_badge.Display();
        m_badge.show();
        m_nBadgeId = badge;
    } else {
        m_badge.ClearPicture();
        m_nBadgeId = 0;
    }
}

CTBItemWnd::PictureAddresses CTBItemWnd::PictureSource() const
{
    std::lock_guard lock(m_recordMutex);
    return m_source;
}

void CTBItemWnd::PictureReady()
{
    m_picture.update();
}

void CTBItemWnd::OpenItem()
{
    IResultsHost* host = MainResultsHost();
    if (!host || m_clickFetch.Pending())
        return; // one click opens one page
    const Configuration& cfg = host->HostConfiguration();
    yfx::net::Request request;
    request.url = BuildClickRequestUrl(cfg.pid, m_record.itemId(), cfg.appKey, cfg.appSecret);
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
    const yfx::HoverLook look = yfx::HoverFor(area);
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
    // Every press stays with the tile: a right press on a tile shows no menu of the view.
    event->accept();
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
