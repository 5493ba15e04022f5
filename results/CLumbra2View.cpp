#include "results/CLumbra2View.h"

#include "res/Resources.h"
#include "results/CPictureWorker.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/IResultsDocument.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/TitleSuffix.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

CLumbra2View::CLumbra2View(IResultsDocument* document, QWidget* parent)
    : QScrollArea(parent), m_pDocument(document),
      m_nScrollBarWidth(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this)),
      m_canvas(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The view paints nothing itself: the margins show the ordinary window background.
    m_canvas->resize(100, 100);
    setWidget(m_canvas);
}

CLumbra2View::~CLumbra2View()
{
    // The tiles (children of the canvas) are deleted after this body; the worker reads them,
    // so it ends first.
    StopPictures();
}

void CLumbra2View::StopPictures()
{
    m_bStop.store(true);
    if (m_pWorker)
        m_pWorker->Stop();
}

bool CLumbra2View::PicturesLoading() const
{
    return m_pWorker && m_pWorker->Running();
}

void CLumbra2View::OnInitialUpdate()
{
    LayoutTiles();
    LoadResults();
}

bool CLumbra2View::LoadResults()
{
    if (m_bLoaded)
        return false;
    m_records.clear();
    m_priceRecords.clear();
    m_bPriceOrderBuilt = false;
    if (!m_pDocument)
        return false;
    const yfx::ResultsDocData& data = m_pDocument->DocData();
    if (data.m_strAddress.empty())
        return false;
    if (!LoadItemList(data.m_strAddress, m_records))
        return false;
    emit answerLoaded(static_cast<int>(m_records.size()));
    if (m_records.empty())
        return false;
    m_bLoaded = true;

    if (IResultsHost* host = MainResultsHost())
        yfx::FilterSellers(m_records, host->HostConfiguration().sellerNicks);
    if (m_records.size() > static_cast<size_t>(kMaxTiles))
        m_records.resize(static_cast<size_t>(kMaxTiles));

    const std::vector<CTBRecord>* shown = &m_records;
    if (data.m_nOrder != 0) {
        BuildPriceOrder();
        shown = &m_priceRecords;
        m_nOrder = 1;
    }
    for (const CTBRecord& record : *shown)
        AddTile(record);

    m_pWorker = std::make_unique<CPictureWorker>(this, m_tiles, m_bStop);
    m_pWorker->Start();

    LayoutTiles();
    return true;
}

CTBItemWnd* CLumbra2View::AddTile(const CTBRecord& record)
{
    auto* tile = new CTBItemWnd(m_canvas);
    if (!tile->Create()) {
        delete tile;
        return nullptr;
    }
    tile->SetRecord(record);
    m_tiles.push_back(tile);
    return tile;
}

void CLumbra2View::LayoutTiles()
{
    yfx::GridInput in;
    in.tileCount = static_cast<int>(m_tiles.size());
    if (!m_tiles.empty()) {
        in.tileWidth = m_tiles.front()->width();
        in.tileHeight = m_tiles.front()->height();
    }
    const QScrollBar* vbar = verticalScrollBar();
    const QScrollBar* hbar = horizontalScrollBar();
    in.clientWidth = viewport()->width();
    in.clientHeight = viewport()->height();
    in.hasVScroll = vbar->isVisibleTo(this);
    in.hasHScroll = hbar->isVisibleTo(this);
    in.vScrollWidth = vbar->width();
    in.hScrollHeight = hbar->height();
    in.scrollBarWidth = m_nScrollBarWidth;
    in.previousLeft = m_nLeft;
    in.firstLayout = m_bFirstLayout;

    const yfx::GridResult out = yfx::ComputeGridLayout(in);
    if (!out.empty) {
        m_nLeft = out.left;
        if (!out.positions.empty()) {
            for (size_t i = 0; i < m_tiles.size() && i < out.positions.size(); ++i) {
                m_tiles[i]->move(out.positions[i].x, out.positions[i].y);
                m_tiles[i]->show();
            }
        } else if (out.shift != 0) {
            for (CTBItemWnd* tile : m_tiles)
                tile->move(tile->x() + out.shift, tile->y());
        }
    }
    m_canvas->resize(out.scrollWidth, out.scrollHeight);
    if (out.firstLayoutDone)
        m_bFirstLayout = false;
}

void CLumbra2View::BuildPriceOrder()
{
    m_priceRecords = yfx::PriceOrder(m_records);
    m_bPriceOrderBuilt = true;
    ++m_nPriceOrderBuilds;
}

void CLumbra2View::ShowOrder(int order)
{
    const bool price = order == 1;
    if (price && !m_bPriceOrderBuilt)
        BuildPriceOrder();
    const std::vector<CTBRecord>& chosen = price ? m_priceRecords : m_records;
    for (size_t i = 0; i < m_tiles.size() && i < chosen.size(); ++i)
        m_tiles[i]->SetRecord(chosen[i]);
    if (m_pWorker)
        m_pWorker->Rebound();
    m_nOrder = price ? 1 : 0;

    if (!m_pDocument)
        return;
    std::string title = m_pDocument->GetTitle().toStdString();
    if (yfx::SwitchTitleSuffix(title, m_nOrder))
        m_pDocument->SetTitle(QString::fromStdString(title));
}

bool CLumbra2View::IsCommandEnabled(int id) const
{
    switch (id) {
    case ID_SORT_BY_SALES:
        return m_nOrder == 1;
    case ID_SORT_BY_PRICE:
        return m_nOrder == 0;
    }
    return false;
}

void CLumbra2View::OnCommand(int id)
{
    if (!IsCommandEnabled(id))
        return;
    ShowOrder(id == ID_SORT_BY_PRICE ? 1 : 0);
}

QMenu* CLumbra2View::CreateContextMenu()
{
    QMenu* menu = yfx::res::CreatePopupMenu(kContextMenuId, 0, this);
    if (!menu)
        return nullptr;
    for (QAction* action : menu->actions()) {
        const int id = action->data().toInt();
        action->setEnabled(IsCommandEnabled(id));
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    return menu;
}

void CLumbra2View::OnPicturesDone()
{
    emit picturesDone();
}

void CLumbra2View::OnPictureNotice(int index, bool fetched)
{
    if (index < 0 || static_cast<size_t>(index) >= m_tiles.size())
        return;
    m_tiles[static_cast<size_t>(index)]->PictureReady();
    if (fetched)
        emit pictureArrived(index);
}

void CLumbra2View::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    LayoutTiles();
}

void CLumbra2View::mousePressEvent(QMouseEvent* event)
{
    QScrollArea::mousePressEvent(event);
    if (event->button() != Qt::RightButton)
        return;
    // Presses on a tile stay with the tile: what arrives here lies on the margins and gaps.
    event->accept();
    QMenu* menu = CreateContextMenu();
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPosition().toPoint());
    emit contextMenuShown(menu);
}
