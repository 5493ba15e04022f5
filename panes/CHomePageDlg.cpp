#include "panes/CHomePageDlg.h"

#include "controls/CMyUrlStatic.h"
#include "market/Endpoints.h"
#include "panes/DialogBuilder.h"
#include "results/UrlOpener.h"

#include <QMouseEvent>

#include <algorithm>

CHomePageDlg::CHomePageDlg(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    std::map<int, QRect> rects;
    std::map<int, QString> texts; // never drawn: what the pictures show, for screen readers
    if (const yfx::res::DialogTemplate* tpl = yfx::res::Dialog(kTemplateId)) {
        const yfx::BuiltDialog built = yfx::BuildDialogFromTemplate(this, *tpl, {1020, 1021});
        for (const auto& c : tpl->controls) {
            rects[c.id] = yfx::res::DialogUnitsToPixels(c.rect, built.baseUnits);
            texts[c.id] = c.text;
        }
    }
    m_linkMarket = new CMyUrlStatic(this);
    m_linkMall = new CMyUrlStatic(this);
    m_linkMarket->setObjectName(QStringLiteral("1020"));
    m_linkMall->setObjectName(QStringLiteral("1021"));
    // the statics take no mouse input: every message over them reaches the pane
    m_linkMarket->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_linkMall->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_linkMarket->setAccessibleName(texts[1020]);
    m_linkMall->setAccessibleName(texts[1021]);
    // Tab reaches the links in order, Enter opens them
    setTabOrder(m_linkMarket, m_linkMall);
    for (CMyUrlStatic* link : {m_linkMarket, m_linkMall})
        connect(link, &CMyUrlStatic::activated, this, [link] {
            if (!link->m_strUrl.isEmpty())
                yfx::OpenUrl(link->m_strUrl);
        });

    m_linkMarket->m_strUrl = MarketChannelUrl();
    m_linkMall->m_strUrl = MallChannelUrl();
    m_linkMarket->LoadLinkBitmap(336);
    m_linkMall->LoadLinkBitmap(337);
    m_templateRects[0] = rects[1020];
    m_templateRects[1] = rects[1021];

    // The template is wider than the navigation bar on this platform's dialog font: the pane
    // takes the bar's width (never less than the widest logo) and keeps the template's height,
    // so it never scrolls sideways.
    int widest = 0;
    for (CMyUrlStatic* link : {m_linkMarket, m_linkMall})
        widest = std::max(widest, link->m_nBitmapWidth);
    const int height = this->height();
    setMinimumSize(widest, height);
    setMaximumSize(QWIDGETSIZE_MAX, height);
    PlaceLinks();
}

void CHomePageDlg::PlaceLinks()
{
    // Each static at its template height, as wide as the template made it but no wider than the
    // pane and never narrower than its logo, centred across the pane: both logos show whole.
    CMyUrlStatic* links[2] = {m_linkMarket, m_linkMall};
    for (int i = 0; i < 2; ++i) {
        CMyUrlStatic* link = links[i];
        const QSize picture(link->m_nBitmapWidth, link->m_nBitmapHeight);
        QRect r = m_templateRects[i];
        r.setWidth(std::max(std::min(r.width(), width()), picture.width()));
        if (r.height() < picture.height()) {
            const int centre = r.center().y();
            r.setHeight(picture.height());
            r.moveTop(centre - picture.height() / 2);
        }
        r.moveLeft(std::max(0, (width() - r.width()) / 2));
        link->setGeometry(r);
    }
}

void CHomePageDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    PlaceLinks();
}

QString CHomePageDlg::MarketChannelUrl()
{
    return QString::fromStdString(yfx::EndpointBase(yfx::Endpoint::MarketSite)) +
           QStringLiteral("/go/chn/tbk_channel/channelcode.php?pid=mm_10000001_2000002_30000003&eventid=101329");
}

QString CHomePageDlg::MallChannelUrl()
{
    return QString::fromStdString(yfx::EndpointBase(yfx::Endpoint::MallSite)) +
           QStringLiteral("/go/chn/tbk_channel/tmall_new.php?pid=mm_10000001_2000002_40000004&eventid=101334");
}

CMyUrlStatic* CHomePageDlg::LinkAt(const QPoint& pos) const
{
    if (m_linkMarket->PtInLinkImage(pos.x(), pos.y()))
        return m_linkMarket;
    if (m_linkMall->PtInLinkImage(pos.x(), pos.y()))
        return m_linkMall;
    return nullptr;
}

void CHomePageDlg::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        m_bPressedOnLink = LinkAt(event->position().toPoint()) != nullptr;
}

void CHomePageDlg::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    CMyUrlStatic* link = LinkAt(event->position().toPoint());
    if (link && m_bPressedOnLink && !link->m_strUrl.isEmpty())
        yfx::OpenUrl(link->m_strUrl);
}

void CHomePageDlg::mouseMoveEvent(QMouseEvent* event)
{
    QWidget::mouseMoveEvent(event);
    setCursor(LinkAt(event->position().toPoint()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    m_bTrackingLeave = true;
}

void CHomePageDlg::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_bTrackingLeave = false;
    setCursor(Qt::ArrowCursor);
}
