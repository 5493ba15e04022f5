#include "results/CLumbra2View.h"

#include "market/Configuration.h"
#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "market/SearchUrl.h"
#include "market/Texts.h"
#include "res/GbkText.h"
#include "res/Resources.h"
#include "results/CFocusFrame.h"
#include "results/CPictureLoader.h"
#include "results/CPriceChartWnd.h"
#include "results/CPriceMemory.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/IResultsDocument.h"
#include "results/OpenPlatformSettings.h"
#include "results/PriceMarker.h"
#include "results/PriceMemoryActions.h"
#include "results/WatchActions.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/TitleSuffix.h"
#include "store/Sighting.h"

#include <QAccessible>
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A signed POST to the gateway, capped at what the open platform's readers take.
yfx::net::Request PostRequest(GatewayPost post)
{
    yfx::net::Request request;
    request.url = std::move(post.url);
    request.body = std::move(post.body);
    request.contentType = std::move(post.contentType);
    request.post = true;
    request.maxBytes = kMaxMaterialAnswerBytes; // read by ReadMaterialSearchAnswer or ParseItemInfoAnswer
    return request;
}

// A page of the list search, capped at what its reader takes.
yfx::net::Request ListRequest(std::string url)
{
    yfx::net::Request request;
    request.url = std::move(url);
    request.maxBytes = kMaxListAnswerBytes;
    return request;
}

} // namespace

CLumbra2View::CLumbra2View(IResultsDocument* document, QWidget* parent)
    : QScrollArea(parent), m_pDocument(document),
      m_nScrollBarWidth(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this)),
      m_canvas(new QWidget), m_more(new CMoreRow(m_canvas)), m_focusFrame(new CFocusFrame(m_canvas))
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The view paints nothing itself: the margins show the ordinary window background.
    m_canvas->resize(100, 100);
    setWidget(m_canvas);
    m_more->hide();
    connect(m_more, &CMoreRow::retryRequested, this, [this] { RetryPage(); });
    if (m_pDocument)
        m_items.SetOrder(m_pDocument->DocData().m_nOrder != 0 ? 1 : 0);
    m_makeTimer.setSingleShot(true);
    m_makeTimer.setInterval(0);
    connect(&m_makeTimer, &QTimer::timeout, this, &CLumbra2View::MakeTiles);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        BindRows();
        MaybeLoadMore();
    });

    // the quiet text (and busy indicator) shown while there are no tiles
    m_statusPane = new QWidget(viewport());
    m_statusPane->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* column = new QVBoxLayout(m_statusPane);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    m_statusText = new QLabel(m_statusPane);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    m_statusText->setAlignment(Qt::AlignCenter);
    m_statusText->setTextFormat(Qt::PlainText);
    QPalette grey = m_statusText->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    m_statusText->setPalette(grey);
    m_busy = new QProgressBar(m_statusPane);
    m_busy->setObjectName(QStringLiteral("busyIndicator"));
    m_busy->setRange(0, 0); // no known end: the bar shows that work goes on
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(120, 6);
    // with no source of results: where to set one up, or the demo for this run
    m_firstRunLinks = new QLabel(m_statusPane);
    m_firstRunLinks->setObjectName(QStringLiteral("firstRunLinks"));
    m_firstRunLinks->setTextFormat(Qt::RichText);
    m_firstRunLinks->setText(QStringLiteral("<a href=\"settings\">设置淘宝开放平台账号…</a>"
                                            "&nbsp;&nbsp;&nbsp;&nbsp;<a href=\"demo\">使用演示数据</a>"));
    m_firstRunLinks->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_firstRunLinks->setFocusPolicy(Qt::StrongFocus);
    connect(m_firstRunLinks, &QLabel::linkActivated, this, &CLumbra2View::OnFirstRunLink);
    m_firstRunLinks->hide();
    column->addWidget(m_statusText, 0, Qt::AlignHCenter);
    column->addWidget(m_busy, 0, Qt::AlignHCenter);
    column->addWidget(m_firstRunLinks, 0, Qt::AlignHCenter);
    m_statusPane->hide();
}

CLumbra2View::~CLumbra2View()
{
    // Nothing of the answers, the credit levels or the pictures arrives from here on.
    m_makeTimer.stop();
    m_answer.Cancel();
    m_pageFetch.Cancel();
    m_creditFetch.Cancel();
    StopPictures();
}

void CLumbra2View::StopPictures()
{
    if (m_pLoader)
        m_pLoader->Stop();
}

bool CLumbra2View::PicturesLoading() const
{
    return m_pLoader && m_pLoader->Running();
}

QString CLumbra2View::StatusText() const
{
    return m_statusPane->isVisible() ? m_statusText->text() : QString();
}

void CLumbra2View::ShowStatus(const QString& text, bool busy)
{
    if (text.isEmpty()) {
        m_statusPane->hide();
        return;
    }
    m_statusText->setText(text);
    m_busy->setVisible(busy);
    m_firstRunLinks->hide();
    m_statusPane->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_statusPane->adjustSize();
    PlaceStatus();
    m_statusPane->show();
    m_statusPane->raise();
}

void CLumbra2View::PlaceStatus()
{
    const QSize size = m_statusPane->sizeHint();
    const QRect area = viewport()->rect();
    m_statusPane->setGeometry(QRect(area.center() - QPoint(size.width() / 2, size.height() / 2), size));
}

ResultSource CLumbra2View::ChooseSource() const
{
    const IResultsHost* host = MainResultsHost();
    if (m_pDocument && m_pDocument->DocData().m_query && host &&
        host->HostConfiguration().source == ResultSource::OpenPlatform)
        return ResultSource::OpenPlatform;
    return ResultSource::ListSearch;
}

bool CLumbra2View::WantsAnswer() const
{
    return m_pDocument && (!m_pDocument->DocData().m_strAddress.empty() || m_pDocument->DocData().m_query);
}

void CLumbra2View::ShowFirstRun()
{
    ShowStatus(QStringLiteral("还没有可用的数据源：请设置自己的淘宝开放平台账号，或先看看演示数据。"), false);
    m_firstRunLinks->show();
    m_statusPane->setAttribute(Qt::WA_TransparentForMouseEvents, false); // the links take clicks
    m_statusPane->adjustSize();
    PlaceStatus();
}

bool CLumbra2View::ShowsFirstRun() const
{
    return m_statusPane->isVisible() && m_firstRunLinks->isVisible();
}

void CLumbra2View::OnFirstRunLink(const QString& link)
{
    IResultsHost* host = MainResultsHost();
    if (!host)
        return;
    if (link == QLatin1String("settings")) {
        host->OpenSourceSettings();
    } else if (link == QLatin1String("demo")) {
        host->UseDemoData();
        SearchAgain();
    }
}

void CLumbra2View::ConfigurationKnown()
{
    if (m_bWaitingForConfiguration)
        OnInitialUpdate();
}

void CLumbra2View::SearchAgain()
{
    if (m_bLoaded || m_answer.Pending() || m_bWaitingForConfiguration)
        return;
    m_bWaited = true;
    ShowStatus(QString(), false);
    OnInitialUpdate();
}

Configuration CLumbra2View::RequestConfiguration() const
{
    const IResultsHost* host = MainResultsHost();
    Configuration cfg = host ? host->HostConfiguration() : Configuration();
    cfg.buyerIp = yfx::BuyerIpSetting();
    return cfg;
}

void CLumbra2View::OnInitialUpdate()
{
    LayoutTiles();
    if (m_bLoaded || m_answer.Pending())
        return;
    IResultsHost* host = MainResultsHost();
    if (WantsAnswer() && host && host->ConfigurationPending()) {
        // the source and the seller filter are not known yet: wait for them
        if (!m_bWaitingForConfiguration) {
            m_bWaitingForConfiguration = true;
            m_bWaited = true;
            ShowStatus(yfx::res::String(yfx::res::IDS_SEARCHING), true);
            emit loadingChanged(true);
        }
        return;
    }
    if (m_bWaitingForConfiguration) {
        m_bWaitingForConfiguration = false;
        emit loadingChanged(false);
    }
    if (WantsAnswer() && host && host->NoSourceConfigured()) {
        ShowFirstRun();
        emit loadFinished(false);
        return;
    }
    m_source = ChooseSource();
    yfx::net::Request request;
    if (m_source == ResultSource::OpenPlatform) {
        request = PostRequest(BuildMaterialPageRequest(RequestConfiguration(), *m_pDocument->DocData().m_query, 1));
    } else {
        std::string address = m_pDocument ? m_pDocument->DocData().m_strAddress : std::string();
        // a search that waited asks where the list search is now (the demo may have started)
        if (m_bWaited && !address.empty() && m_pDocument->DocData().m_query)
            address = BuildSearchUrl(*m_pDocument->DocData().m_query);
        m_strListAddress = address; // later pages follow this one
        if (address.empty()) {
            // nothing to ask for: the view stays empty, as a failed answer leaves it
            ShowAnswer(yfx::net::Result{});
            return;
        }
        request = ListRequest(address);
    }
    m_answer.Start(this, std::move(request), [this](const yfx::net::Result& r) { OnAnswer(r); });
    ShowStatus(yfx::res::String(yfx::res::IDS_SEARCHING), true);
    emit loadingChanged(true);
}

void CLumbra2View::OnAnswer(const yfx::net::Result& result)
{
    ShowStatus(QString(), false);
    emit loadingChanged(false);
    m_bAnnounce = true; // loadFinished(true) once the rows in sight have their tiles
    const bool shown = ShowAnswer(result);
    if (!shown) {
        m_bAnnounce = false;
        if (result.code < 0)
            ShowStatus(yfx::res::String(yfx::res::IDS_CANNOT_CONNECT), false);
        emit loadFinished(false);
        return;
    }
    AfterBinding();
}

bool CLumbra2View::ShowAnswer(const yfx::net::Result& answer)
{
    if (m_bLoaded || !m_pDocument)
        return false;
    std::vector<CTBRecord> records;
    yfx::PageAnswer info;
    QString message;
    if (!ReadPage(answer, records, info, message)) {
        ShowStatus(message, false);
        return false;
    }
    emit answerLoaded(static_cast<int>(info.received));
    if (info.received == 0) {
        ShowStatus(yfx::res::String(yfx::res::IDS_NO_ITEMS), false);
        return false;
    }
    m_bLoaded = true;
    m_pLoader = std::make_unique<CPictureLoader>(std::vector<CTBItemWnd*>{});
    connect(m_pLoader.get(), &CPictureLoader::pictureHandled, this, &CLumbra2View::OnPictureNotice);
    connect(m_pLoader.get(), &CPictureLoader::finished, this, &CLumbra2View::picturesDone);
    const std::vector<CTBRecord> taken = records;
    TakePage(std::move(records), info);
    // the first tile now, for the size of the grid; the others over the next turns
    if (ItemCount() > 0 && m_slots.empty())
        MakeTile();
    LayoutTiles();
    if (m_source == ResultSource::OpenPlatform)
        QueueCreditLevels(taken);
    // a view that had the focus while it waited gives it to its first item
    if (hasFocus() && FocusRow() < 0 && ItemCount() > 0)
        SetFocusRow(0);
    MaybeLoadMore();
    return true;
}

bool CLumbra2View::ReadPage(const yfx::net::Result& fetched, std::vector<CTBRecord>& records,
                            yfx::PageAnswer& info, QString& message)
{
    const yfx::ResultsDocData& data = m_pDocument->DocData();
    info.source = m_source;
    const IResultsHost* host = MainResultsHost();
    const Configuration cfg = host ? host->HostConfiguration() : Configuration();
    if (m_source == ResultSource::OpenPlatform) {
        if (fetched.code < 0 || !data.m_query)
            return false;
        MaterialAnswer answer;
        // (an answer over its cap comes as no text, which the reader refuses as unreadable)
        if (!ReadMaterialSearchAnswer(fetched.text, *data.m_query, answer, cfg.sellerIds)) {
            // what the platform answered: never a message box
            message = yfx::QStringFromGbk(answer.message.empty() ? yfx::text::PlatformUnreadable() : answer.message);
            return false;
        }
        records = std::move(answer.records);
        info.received = answer.received;
        info.totalResults = answer.totalResults;
    } else {
        if (m_strListAddress.empty()) // an answer handed over without OnInitialUpdate
            m_strListAddress = data.m_strAddress;
        if (m_strListAddress.empty() || fetched.code < 0)
            return false;
        // an answer over its cap is refused as the reader refuses a long text; either way the
        // reader has reported what it could not read (the message box, once this returns)
        if (fetched.overCap || !ParseItemList(fetched.text, records)) {
            if (fetched.overCap)
                RefuseLongItemList(fetched.length);
            message = yfx::res::String(yfx::res::IDS_UNREADABLE_ANSWER);
            return false;
        }
        info.received = records.size();
    }
    yfx::FilterSellers(records, cfg.sellerNicks, cfg.sellerIds);
    return true;
}

std::size_t CLumbra2View::TakePage(std::vector<CTBRecord> records, const yfx::PageAnswer& info)
{
    const std::size_t first = m_items.Count();
    const std::size_t added = m_items.Append(records);
    RememberPrices(first);
    ++m_nPagesShown;
    yfx::PageAnswer page = info;
    page.pagesShown = m_nPagesShown;
    page.itemsFull = m_items.Full();
    m_bHasMore = yfx::HasMorePages(page);
    m_bPageFailed = false;
    if (m_rowSlot.size() < m_items.Count())
        m_rowSlot.resize(m_items.Count(), -1);
    // in price order the new items fall between the old ones: every bound row is bound anew
    if (m_items.Order() == 1)
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i].row >= 0)
                Bind(i, m_slots[i].row);
    UpdateMoreRow();
    // a view that ends with nothing in it says so, as one whose answer held nothing
    ShowStatus(ItemCount() == 0 && !m_bHasMore ? yfx::res::String(yfx::res::IDS_NO_ITEMS) : QString(), false);
    return added;
}

void CLumbra2View::UpdateMoreRow()
{
    using State = CMoreRow::State;
    State state = State::None;
    if (m_bLoaded && m_bPageFailed)
        state = State::Failed;
    else if (m_bLoaded && m_bHasMore)
        state = State::Loading;
    else if (m_bLoaded && ItemCount() > 0)
        state = State::End;
    m_more->SetState(state);
    m_more->setVisible(state != State::None);
}

void CLumbra2View::MaybeLoadMore()
{
    if (!m_bLoaded || !m_bHasMore || m_bPageFailed || m_pageFetch.Pending())
        return;
    if (!yfx::NearEnd(verticalScrollBar()->value(), viewport()->height(), m_canvas->height()))
        return;
    RequestPage();
}

void CLumbra2View::RequestPage()
{
    const int page = m_nPagesShown; // 0-based: the first was page 0
    yfx::net::Request request;
    if (m_source == ResultSource::OpenPlatform)
        request = PostRequest(BuildMaterialPageRequest(RequestConfiguration(), *m_pDocument->DocData().m_query, page + 1));
    else
        request = ListRequest(yfx::ListPageAddress(m_strListAddress, page));
    m_pageFetch.Start(this, std::move(request), [this](const yfx::net::Result& r) { OnPageAnswer(r); });
    m_bPageFailed = false;
    UpdateMoreRow();
}

bool CLumbra2View::RetryPage()
{
    if (!m_bPageFailed || m_pageFetch.Pending())
        return false;
    RequestPage();
    return true;
}

void CLumbra2View::OnPageAnswer(const yfx::net::Result& result)
{
    const int page = m_nPagesShown;
    emit pageAnswerArrived(page);
    std::vector<CTBRecord> records;
    yfx::PageAnswer info;
    QString message; // (the "more" row says it failed)
    if (!ReadPage(result, records, info, message)) {
        m_bPageFailed = true;
        UpdateMoreRow();
        emit pageLoaded(page, 0);
        return;
    }
    const std::vector<CTBRecord> taken = m_source == ResultSource::OpenPlatform ? records : std::vector<CTBRecord>();
    const std::size_t added = TakePage(std::move(records), info);
    LayoutTiles();
    if (m_source == ResultSource::OpenPlatform)
        QueueCreditLevels(taken);
    emit pageLoaded(page, static_cast<int>(added));
    MaybeLoadMore();
}

void CLumbra2View::RememberPrices(std::size_t first)
{
    CPriceMemory* memory = MainPriceMemory();
    if (!memory || !memory->Available() || first >= m_items.Count())
        return;
    // the items this page brought: one batch of the memory
    const std::vector<CTBRecord> fresh(m_items.SalesRecords().begin() + static_cast<std::ptrdiff_t>(first),
                                       m_items.SalesRecords().end());
    memory->Record(fresh);
    std::vector<yfx::store::SummaryQuery> queries;
    queries.reserve(fresh.size());
    for (const CTBRecord& r : fresh)
        if (const std::optional<std::int64_t> total = yfx::store::ShownTotal(r))
            queries.push_back({yfx::store::KeyOf(r), *total});
    if (queries.empty())
        return;
    // the tiles are shown already: their markers come when the store answers
    memory->AskSummaries(this, std::move(queries),
                         [this](const std::vector<yfx::store::PriceSummary>& summaries) { OnPriceSummaries(summaries); });
}

void CLumbra2View::OnPriceSummaries(const std::vector<yfx::store::PriceSummary>& summaries)
{
    for (const yfx::store::PriceSummary& s : summaries)
        m_priceSummaries[s.key] = s;
    if (m_makeTimer.isActive()) {
        m_bSummariesToTell = true; // told with the markers of every tile in reach, once made
        return;
    }
    emit priceSummariesArrived(ApplyPriceSummaries());
}

int CLumbra2View::ApplyPriceSummaries()
{
    int markers = 0;
    for (CTBItemWnd* tile : m_bound)
        markers += ApplyPriceSummary(tile) ? 1 : 0;
    return markers;
}

bool CLumbra2View::ApplyPriceSummary(CTBItemWnd* tile)
{
    const auto it = m_priceSummaries.find(yfx::store::KeyOf(tile->Record()));
    if (it == m_priceSummaries.end())
        return false;
    tile->SetPriceSummary(it->second);
    return tile->MarkerControl().isVisibleTo(tile);
}

bool CLumbra2View::CreditLevelsLoading() const
{
    return m_creditFetch.Pending() || !m_creditQueue.empty();
}

void CLumbra2View::QueueCreditLevels(const std::vector<CTBRecord>& records)
{
    if (m_bCreditWithheld || !MainResultsHost())
        return;
    std::vector<CTBRecord> fresh;
    for (const CTBRecord& r : records)
        if (!r.itemId().empty() && m_creditAsked.insert(r.itemId()).second)
            fresh.push_back(r);
    for (std::vector<std::string>& batch : ItemInfoBatches(fresh))
        m_creditQueue.push_back(std::move(batch));
    if (!m_creditFetch.Pending())
        NextCreditLevels();
}

void CLumbra2View::NextCreditLevels()
{
    // one request at a time: an answer that withholds the levels stops the rest
    if (m_creditQueue.empty() || m_bCreditWithheld || !MainResultsHost())
        return;
    const std::vector<std::string> batch = std::move(m_creditQueue.front());
    m_creditQueue.pop_front();
    m_creditFetch.Start(this, PostRequest(BuildItemInfoRequest(RequestConfiguration(), batch)),
                        [this](const yfx::net::Result& r) { OnCreditLevels(r); });
}

void CLumbra2View::OnCreditLevels(const yfx::net::Result& result)
{
    ItemInfoAnswer answer;
    const bool read = result.code >= 0 && ParseItemInfoAnswer(result.text, answer);
    if (read && answer.ratesumWithheld) {
        // the application may not see the levels: asking for more items is of no use
        m_bCreditWithheld = true;
        m_creditQueue.clear();
    }
    int levels = 0;
    if (read && !answer.ratesums.empty()) {
        const std::vector<std::size_t> changed = m_items.ApplyRatesums(answer.ratesums);
        levels = static_cast<int>(changed.size());
        // every tile that holds one of these items, bound or waiting in the pool to be bound again
        const std::set<std::size_t> items(changed.begin(), changed.end());
        for (const Slot& s : m_slots)
            if (items.contains(s.item))
                s.tile->SetRatesum(m_items.SalesRecords()[s.item].ratesum());
    }
    emit creditLevelsArrived(levels); // 0: the tiles stay as they are
    NextCreditLevels();
}

QRect CLumbra2View::RowRect(int row) const
{
    if (row < 0 || row >= ItemCount() || !m_tileSize.isValid())
        return {};
    const yfx::GridPoint p = yfx::GridCell(row, m_nLeft, m_tileSize.width(), m_tileSize.height());
    return QRect(QPoint(p.x, p.y), m_tileSize);
}

void CLumbra2View::EnsureRowVisible(int row)
{
    const QRect r = RowRect(row);
    if (r.isEmpty())
        return;
    ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 1, r.height() / 2 + 1);
    BindRows();
}

CTBItemWnd* CLumbra2View::TileForRow(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_rowSlot.size() || row >= ItemCount())
        return nullptr;
    const int slot = m_rowSlot[static_cast<std::size_t>(row)];
    return slot < 0 ? nullptr : m_slots[static_cast<std::size_t>(slot)].tile;
}

int CLumbra2View::RowOfTile(const CTBItemWnd* tile) const
{
    for (const Slot& s : m_slots)
        if (s.tile == tile)
            return s.row;
    return -1;
}

int CLumbra2View::TileLimit() const
{
    if (!m_tileSize.isValid())
        return 1;
    return std::max(1, yfx::TilePoolSize(m_tileSize.height(), viewport()->height()));
}

bool CLumbra2View::MakeTile()
{
    auto* tile = new CTBItemWnd(m_canvas);
    if (!tile->Create()) {
        delete tile;
        return false;
    }
    if (!m_tileSize.isValid())
        m_tileSize = tile->size();
    tile->installEventFilter(this); // a press on a tile moves the focus there
    connect(tile, &CTBItemWnd::menuRequested, this, [this, tile](const QPoint& at) {
        QMenu* menu = CreateTileMenu(tile);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
        emit contextMenuShown(menu);
    });
    m_slots.push_back(Slot{tile, -1, static_cast<std::size_t>(-1)});
    return true;
}

std::vector<int> CLumbra2View::RowsLacking() const
{
    std::vector<int> rows;
    if (!m_tileSize.isValid() || ItemCount() == 0)
        return rows;
    const int top = verticalScrollBar()->value();
    const int height = viewport()->height();
    const yfx::CellSpan near = yfx::CellsNearViewport(ItemCount(), m_tileSize.height(), top, height);
    const yfx::CellSpan seen = yfx::CellsNearViewport(ItemCount(), m_tileSize.height(), top, height, 0);
    auto lacks = [this](int row) { return m_rowSlot[static_cast<std::size_t>(row)] < 0; };
    for (int row = seen.first; row <= seen.last; ++row)
        if (lacks(row))
            rows.push_back(row);
    for (int row = std::max(seen.last + 1, near.first); row <= near.last; ++row)
        if (lacks(row))
            rows.push_back(row);
    for (int row = std::min(seen.first, near.last + 1) - 1; row >= near.first; --row)
        if (lacks(row))
            rows.push_back(row);
    return rows;
}

void CLumbra2View::Bind(std::size_t slot, int row)
{
    Slot& s = m_slots[slot];
    const std::size_t item = m_items.ItemOfRow(static_cast<std::size_t>(row));
    if (s.row >= 0 && static_cast<std::size_t>(s.row) < m_rowSlot.size() && m_rowSlot[static_cast<std::size_t>(s.row)] == static_cast<int>(slot))
        m_rowSlot[static_cast<std::size_t>(s.row)] = -1;
    s.row = row;
    m_rowSlot[static_cast<std::size_t>(row)] = static_cast<int>(slot);
    if (s.item != item) {
        // the picture the tile held goes with its item: to the tile that shows it now, or aside
        const CMyImageStatic& picture = s.tile->PictureControl();
        if (!picture.m_image.isNull() && !s.tile->PictureSource().path.empty())
            m_handOver.emplace(s.tile->PictureSource().path, picture.m_image);
        s.item = item;
        s.tile->SetRecord(m_items.SalesRecords()[item]);
        ApplyPriceSummary(s.tile); // what the memory knows of the item, when it has answered
    }
    const yfx::GridPoint p = yfx::GridCell(row, m_nLeft, m_tileSize.width(), m_tileSize.height());
    if (s.tile->pos() != QPoint(p.x, p.y))
        s.tile->move(p.x, p.y);
    if (!m_bFirstLayout && s.tile->isHidden())
        s.tile->show();
}

void CLumbra2View::BindRows()
{
    if (!m_tileSize.isValid())
        return;
    const int count = ItemCount();
    const yfx::CellSpan near = yfx::CellsNearViewport(count, m_tileSize.height(), verticalScrollBar()->value(),
                                                      viewport()->height());
    std::vector<std::size_t> free;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        Slot& s = m_slots[i];
        if (s.row >= 0 && (s.row >= count || !near.Contains(s.row))) {
            if (static_cast<std::size_t>(s.row) < m_rowSlot.size() && m_rowSlot[static_cast<std::size_t>(s.row)] == static_cast<int>(i))
                m_rowSlot[static_cast<std::size_t>(s.row)] = -1;
            s.row = -1;
        }
        if (s.row < 0)
            free.push_back(i);
    }
    // a free tile that showed one of the rows lacking takes that row back first (nothing changes
    // on it); the others are rebound in the order the rows are wanted
    std::vector<int> lacking = RowsLacking();
    for (auto row = lacking.begin(); row != lacking.end() && !free.empty();) {
        const std::size_t item = m_items.ItemOfRow(static_cast<std::size_t>(*row));
        const auto same = std::find_if(free.begin(), free.end(), [&](std::size_t i) { return m_slots[i].item == item; });
        if (same == free.end()) {
            ++row;
            continue;
        }
        Bind(*same, *row);
        free.erase(same);
        row = lacking.erase(row);
    }
    for (const int row : lacking) {
        if (free.empty())
            break;
        Bind(free.back(), row);
        free.pop_back();
    }
    for (const std::size_t i : free)
        if (m_slots[i].tile->isVisible())
            m_slots[i].tile->hide();
    if (!RowsLacking().empty() && static_cast<int>(m_slots.size()) < TileLimit() && !m_makeTimer.isActive())
        m_makeTimer.start();
    AfterBinding();
}

void CLumbra2View::MakeTiles()
{
    QElapsedTimer clock;
    clock.start();
    std::vector<int> lacking = RowsLacking();
    std::size_t next = 0;
    while (next < lacking.size() && static_cast<int>(m_slots.size()) < TileLimit()) {
        if (!MakeTile())
            break;
        Bind(m_slots.size() - 1, lacking[next++]);
        if (clock.elapsed() >= kMakeBudgetMs)
            break;
    }
    if (next < lacking.size() && static_cast<int>(m_slots.size()) < TileLimit())
        m_makeTimer.start(); // the rest in the next turn, after whatever else waits (a paint)
    AfterBinding();
}

void CLumbra2View::AfterBinding()
{
    m_bound.clear();
    std::vector<std::pair<int, CTBItemWnd*>> byRow;
    for (const Slot& s : m_slots)
        if (s.row >= 0)
            byRow.emplace_back(s.row, s.tile);
    std::sort(byRow.begin(), byRow.end());
    for (const auto& [row, tile] : byRow)
        m_bound.push_back(tile);
    if (m_pLoader) {
        m_pLoader->SetTiles(m_bound);
        m_pLoader->Rebound(m_handOver);
    }
    m_handOver.clear();
    PlaceFocusFrame();
    RunPendingAction();
    if (m_makeTimer.isActive())
        return;
    if (m_bSummariesToTell) {
        m_bSummariesToTell = false;
        emit priceSummariesArrived(ApplyPriceSummaries());
    }
    emit tilesSettled();
    if (m_bAnnounce) {
        m_bAnnounce = false;
        emit loadFinished(true);
    }
}

void CLumbra2View::LayoutTiles()
{
    yfx::GridInput in;
    in.tileCount = ItemCount();
    in.tileWidth = m_tileSize.width();
    in.tileHeight = m_tileSize.height();
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
    in.footerHeight = m_more->isVisibleTo(m_canvas) ? CMoreRow::kHeight : 0;

    const yfx::GridResult out = yfx::ComputeGridLayout(in);
    if (!out.empty && m_tileSize.isValid()) {
        m_nLeft = out.left;
        for (const Slot& s : m_slots) {
            if (s.row < 0)
                continue;
            const yfx::GridPoint p = yfx::GridCell(s.row, m_nLeft, m_tileSize.width(), m_tileSize.height());
            s.tile->move(p.x, p.y);
            s.tile->show();
        }
        const int gridWidth = yfx::kGridColumns * (m_tileSize.width() + 1) - 1;
        m_more->setGeometry(m_nLeft, out.footerTop, gridWidth, CMoreRow::kHeight);
    }
    m_canvas->resize(out.scrollWidth, out.scrollHeight);
    if (out.firstLayoutDone)
        m_bFirstLayout = false;
    BindRows();
}

void CLumbra2View::BuildPriceOrder()
{
    m_items.BuildPriceOrder();
}

void CLumbra2View::ShowOrder(int order)
{
    m_items.SetOrder(order);
    for (std::size_t i = 0; i < m_slots.size(); ++i)
        if (m_slots[i].row >= 0)
            Bind(i, m_slots[i].row);
    AfterBinding();

    if (!m_pDocument)
        return;
    std::string title = m_pDocument->GetTitle().toStdString();
    if (yfx::SwitchTitleSuffix(title, m_items.Order()))
        m_pDocument->SetTitle(QString::fromStdString(title));
}

bool CLumbra2View::IsCommandEnabled(int id) const
{
    switch (id) {
    case ID_SORT_BY_SALES:
        return Order() == 1;
    case ID_SORT_BY_PRICE:
        return Order() == 0;
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

QMenu* CLumbra2View::CreateTileMenu(CTBItemWnd* tile)
{
    QMenu* menu = CreateContextMenu();
    if (!menu)
        menu = new QMenu(this);
    QAction* first = menu->actions().isEmpty() ? nullptr : menu->actions().constFirst();
    auto* history = new QAction(QStringLiteral("价格走势(&H)"), menu);
    history->setData(ID_PRICE_HISTORY);
    CPriceMemory* memory = MainPriceMemory();
    history->setEnabled(memory && memory->Available());
    connect(history, &QAction::triggered, this, [this, tile] { OpenPriceChart(tile); });
    menu->insertAction(first, history);
    yfx::AddWatchAction(menu, first, memory, tile->Record(), window());
    menu->insertSeparator(first);
    menu->addSeparator();
    yfx::AddPriceMemoryActions(menu, memory, window());
    return menu;
}

QWidget* CLumbra2View::OpenPriceChart(CTBItemWnd* tile)
{
    if (RowOfTile(tile) < 0)
        return nullptr; // not a tile of this view, or one waiting in the pool
    const QString picture = QFile::decodeName(QByteArray::fromStdString(tile->PictureSource().path));
    auto* chart = new CPriceChartWnd(tile->Record(), picture, MainPriceMemory(), window());
    chart->show();
    emit priceChartOpened(chart);
    return chart;
}

void CLumbra2View::OnPictureNotice(int index, bool fetched)
{
    if (index < 0 || static_cast<size_t>(index) >= m_bound.size())
        return;
    CTBItemWnd* tile = m_bound[static_cast<size_t>(index)];
    tile->PictureReady();
    if (fetched)
        emit pictureArrived(RowOfTile(tile));
}

void CLumbra2View::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    LayoutTiles();
    PlaceStatus();
    MaybeLoadMore();
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

int CLumbra2View::FocusRow() const
{
    if (m_focusItem >= m_items.Count())
        return -1;
    return static_cast<int>(m_items.RowOfItem(m_focusItem));
}

void CLumbra2View::SetFocusRow(int row)
{
    FocusOnRow(row, true);
}

void CLumbra2View::FocusOnRow(int row, bool scroll)
{
    if (row < 0 || row >= ItemCount())
        return;
    const bool changed = row != FocusRow();
    m_focusItem = m_items.ItemOfRow(static_cast<std::size_t>(row));
    if (scroll)
        EnsureRowVisible(row);
    PlaceFocusFrame();
    if (changed) {
        AnnounceFocus();
        emit focusRowChanged(row);
    }
}

std::string CLumbra2View::MarkerText(int row) const
{
    if (row < 0 || row >= ItemCount())
        return std::string();
    const auto it = m_priceSummaries.find(yfx::store::KeyOf(ItemAt(row)));
    if (it == m_priceSummaries.end())
        return std::string();
    const std::vector<std::string> texts = yfx::MarkerTexts(yfx::ChooseMarker(it->second));
    return texts.empty() ? std::string() : texts.front();
}

void CLumbra2View::PlaceFocusFrame()
{
    const int row = FocusRow();
    const QRect r = RowRect(row);
    if (row < 0 || r.isEmpty() || !hasFocus()) {
        m_focusFrame->hide();
        return;
    }
    if (m_focusFrame->geometry() != r)
        m_focusFrame->setGeometry(r);
    m_focusFrame->show();
    m_focusFrame->raise();
}

void CLumbra2View::AnnounceFocus()
{
    const int row = FocusRow();
    if (row < 0 || !hasFocus() || !QAccessible::isActive()) // nobody listens
        return;
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(this);
    QAccessibleInterface* item = view ? view->child(row) : nullptr;
    if (!item)
        return;
    QAccessibleEvent event(item, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
}

bool CLumbra2View::OpenRow(int row)
{
    return RunOnRow(row, RowAction::Open);
}

bool CLumbra2View::ShowRowMenu(int row)
{
    return RunOnRow(row, RowAction::Menu);
}

bool CLumbra2View::RunOnRow(int row, RowAction action)
{
    if (row < 0 || row >= ItemCount())
        return false;
    m_pendingItem = m_items.ItemOfRow(static_cast<std::size_t>(row));
    m_pendingAction = action;
    EnsureRowVisible(row); // binds the row's tile, or has it made
    RunPendingAction();
    return true;
}

void CLumbra2View::RunPendingAction()
{
    if (m_pendingAction == RowAction::None || m_pendingItem >= m_items.Count())
        return;
    CTBItemWnd* tile = TileForRow(static_cast<int>(m_items.RowOfItem(m_pendingItem)));
    if (!tile)
        return; // once the tile is made
    const RowAction action = m_pendingAction;
    m_pendingAction = RowAction::None;
    if (action == RowAction::Open) {
        tile->OpenItem();
        return;
    }
    QMenu* menu = CreateTileMenu(tile);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(tile->mapToGlobal(QPoint(tile->width() / 4, tile->height() / 4)));
    emit contextMenuShown(menu);
}

void CLumbra2View::keyPressEvent(QKeyEvent* event)
{
    const int count = ItemCount();
    if (count == 0) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int row = FocusRow();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
        if (row >= 0)
            OpenRow(row);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
        if (row >= 0)
            ShowRowMenu(row);
        event->accept();
        return;
    }
    static const std::map<int, yfx::FocusMove> moves = {
        {Qt::Key_Left, yfx::FocusMove::Left},         {Qt::Key_Right, yfx::FocusMove::Right},
        {Qt::Key_Up, yfx::FocusMove::Up},             {Qt::Key_Down, yfx::FocusMove::Down},
        {Qt::Key_PageUp, yfx::FocusMove::PageUp},     {Qt::Key_PageDown, yfx::FocusMove::PageDown},
        {Qt::Key_Home, yfx::FocusMove::Home},         {Qt::Key_End, yfx::FocusMove::End},
    };
    const auto move = moves.find(event->key());
    if (move == moves.end() || mods != Qt::NoModifier) {
        QScrollArea::keyPressEvent(event);
        return;
    }
    const int pageRows = m_tileSize.isValid() ? std::max(1, viewport()->height() / (m_tileSize.height() + 1)) : 1;
    SetFocusRow(yfx::MoveFocus(row, count, move->second, pageRows));
    event->accept();
}

void CLumbra2View::focusInEvent(QFocusEvent* event)
{
    QScrollArea::focusInEvent(event);
    // (a press on a tile focuses that tile's item as the press arrives, after this)
    if (FocusRow() < 0 && ItemCount() > 0 && event->reason() != Qt::MouseFocusReason)
        SetFocusRow(0); // told as a change
    else if (FocusRow() >= 0 && event->reason() != Qt::MouseFocusReason)
        EnsureRowVisible(FocusRow());
    PlaceFocusFrame();
    AnnounceFocus();
}

void CLumbra2View::focusOutEvent(QFocusEvent* event)
{
    QScrollArea::focusOutEvent(event);
    PlaceFocusFrame();
}

bool CLumbra2View::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        if (auto* tile = qobject_cast<CTBItemWnd*>(watched))
            if (const int row = RowOfTile(tile); row >= 0)
                FocusOnRow(row, false); // no scroll under the pointer: the release still opens
    return QScrollArea::eventFilter(watched, event);
}
