#include "results/CLumbra2View.h"

#include "market/OpenPlatformAnswer.h"
#include "market/OpenPlatformRequest.h"
#include "market/SearchUrl.h"
#include "market/Texts.h"
#include "res/GbkText.h"
#include "res/Resources.h"
#include "results/CPictureLoader.h"
#include "results/CPriceChartWnd.h"
#include "results/CPriceMemory.h"
#include "results/CTBItemWnd.h"
#include "results/GridLayout.h"
#include "results/IResultsDocument.h"
#include "results/PriceMemoryActions.h"
#include "results/ResultOrder.h"
#include "results/ResultsHost.h"
#include "results/TitleSuffix.h"
#include "store/Sighting.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QStyle>

#include <algorithm>

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
    if (m_pDocument)
        m_nOrder = m_pDocument->DocData().m_nOrder != 0 ? 1 : 0;

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
    // decoded pictures follow the part in sight
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CLumbra2View::UpdateNearTiles);
}

CLumbra2View::~CLumbra2View()
{
    // Nothing of the answer, the credit levels or the pictures arrives from here on.
    m_answer.Cancel();
    m_creditFetches.clear();
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
        GatewayPost post = BuildMaterialSearchRequest(MainResultsHost()->HostConfiguration(),
                                                      *m_pDocument->DocData().m_query);
        request.url = std::move(post.url);
        request.body = std::move(post.body);
        request.contentType = std::move(post.contentType);
        request.post = true;
        request.maxBytes = kMaxMaterialAnswerBytes;
    } else {
        std::string address = m_pDocument ? m_pDocument->DocData().m_strAddress : std::string();
        // a search that waited asks where the list search is now (the demo may have started)
        if (m_bWaited && !address.empty() && m_pDocument->DocData().m_query)
            address = BuildSearchUrl(*m_pDocument->DocData().m_query);
        if (address.empty()) {
            // nothing to ask for: the view stays empty, as a failed answer leaves it
            ShowAnswer(yfx::net::Result{});
            return;
        }
        request.url = address;
        request.maxBytes = kMaxListAnswerBytes;
    }
    m_answer.Start(this, std::move(request), [this](const yfx::net::Result& r) { OnAnswer(r); });
    ShowStatus(yfx::res::String(yfx::res::IDS_SEARCHING), true);
    emit loadingChanged(true);
}

void CLumbra2View::OnAnswer(const yfx::net::Result& result)
{
    ShowStatus(QString(), false);
    emit loadingChanged(false);
    const bool shown = ShowAnswer(result);
    if (result.code < 0)
        ShowStatus(yfx::res::String(yfx::res::IDS_CANNOT_CONNECT), false);
    emit loadFinished(shown);
}

bool CLumbra2View::ShowAnswer(const yfx::net::Result& answer)
{
    if (m_bLoaded)
        return false;
    m_records.clear();
    m_priceRecords.clear();
    m_bPriceOrderBuilt = false;
    if (!m_pDocument || !ReadAnswer(answer))
        return false;
    emit answerLoaded(static_cast<int>(m_records.size()));
    if (m_records.empty()) {
        ShowStatus(yfx::res::String(yfx::res::IDS_NO_ITEMS), false);
        return false;
    }
    m_bLoaded = true;

    if (IResultsHost* host = MainResultsHost())
        yfx::FilterSellers(m_records, host->HostConfiguration().sellerNicks);
    if (m_records.size() > static_cast<size_t>(kMaxTiles))
        m_records.resize(static_cast<size_t>(kMaxTiles));

    // the order shown now: the document's, or the one the user chose while the answer came
    const std::vector<CTBRecord>* shown = &m_records;
    if (m_nOrder != 0) {
        BuildPriceOrder();
        shown = &m_priceRecords;
    }
    for (const CTBRecord& record : *shown)
        AddTile(record);
    LayoutTiles();

    m_pLoader = std::make_unique<CPictureLoader>(m_tiles);
    connect(m_pLoader.get(), &CPictureLoader::pictureHandled, this, &CLumbra2View::OnPictureNotice);
    connect(m_pLoader.get(), &CPictureLoader::finished, this, &CLumbra2View::picturesDone);
    UpdateNearTiles(); // only tiles near the part in sight decode their pictures
    m_pLoader->Start();
    if (m_source == ResultSource::OpenPlatform)
        RequestCreditLevels();
    RememberPrices();
    return true;
}

void CLumbra2View::RememberPrices()
{
    CPriceMemory* memory = MainPriceMemory();
    if (!memory || !memory->Available())
        return;
    memory->Record(m_records);
    std::vector<yfx::store::SummaryQuery> queries;
    queries.reserve(m_records.size());
    for (const CTBRecord& r : m_records)
        if (const std::optional<std::int64_t> total = yfx::store::ShownTotal(r))
            queries.push_back({yfx::store::KeyOf(r), *total});
    if (queries.empty())
        return;
    // the tiles are already shown: their markers come when the store answers
    memory->AskSummaries(this, std::move(queries),
                         [this](const std::vector<yfx::store::PriceSummary>& summaries) { OnPriceSummaries(summaries); });
}

void CLumbra2View::OnPriceSummaries(const std::vector<yfx::store::PriceSummary>& summaries)
{
    for (const yfx::store::PriceSummary& s : summaries)
        m_priceSummaries[s.key] = s;
    emit priceSummariesArrived(ApplyPriceSummaries());
}

int CLumbra2View::ApplyPriceSummaries()
{
    int markers = 0;
    for (CTBItemWnd* tile : m_tiles) {
        const auto it = m_priceSummaries.find(yfx::store::KeyOf(tile->Record()));
        if (it == m_priceSummaries.end())
            continue;
        tile->SetPriceSummary(it->second);
        markers += tile->MarkerControl().isVisibleTo(tile) ? 1 : 0;
    }
    return markers;
}

bool CLumbra2View::ReadAnswer(const yfx::net::Result& fetched)
{
    const yfx::ResultsDocData& data = m_pDocument->DocData();
    if (m_source == ResultSource::OpenPlatform) {
        if (fetched.code < 0 || !data.m_query)
            return false;
        MaterialAnswer answer;
        // (an answer over its cap comes as no text, which the reader refuses as unreadable)
        if (!ReadMaterialSearchAnswer(fetched.text, *data.m_query, answer)) {
            // what the platform answered, in the empty view: never a message box
            const std::string& message = answer.message.empty() ? yfx::text::PlatformUnreadable() : answer.message;
            ShowStatus(yfx::QStringFromGbk(message), false);
            return false;
        }
        m_records = std::move(answer.records);
        return true;
    }
    if (data.m_strAddress.empty() || fetched.code < 0)
        return false;
    // an answer over its cap is refused as the reader refuses a long text; either way the
    // reader has reported what it could not read (the message box, once this returns)
    if (!fetched.overCap && ParseItemList(fetched.text, m_records))
        return true;
    if (fetched.overCap)
        RefuseLongItemList(fetched.length);
    ShowStatus(yfx::res::String(yfx::res::IDS_UNREADABLE_ANSWER), false);
    return false;
}

bool CLumbra2View::CreditLevelsLoading() const
{
    for (const auto& fetch : m_creditFetches)
        if (fetch->Pending())
            return true;
    return false;
}

void CLumbra2View::RequestCreditLevels()
{
    const IResultsHost* host = MainResultsHost();
    if (!host)
        return;
    for (const std::vector<std::string>& batch : ItemInfoBatches(m_records)) {
        GatewayPost post = BuildItemInfoRequest(host->HostConfiguration(), batch);
        yfx::net::Request request;
        request.url = std::move(post.url);
        request.body = std::move(post.body);
        request.contentType = std::move(post.contentType);
        request.post = true;
        request.maxBytes = kMaxMaterialAnswerBytes; // read by ParseItemInfoAnswer
        m_creditFetches.push_back(std::make_unique<yfx::CAsyncFetch>());
        m_creditFetches.back()->Start(this, std::move(request),
                                      [this](const yfx::net::Result& r) { OnCreditLevels(r); });
    }
}

void CLumbra2View::OnCreditLevels(const yfx::net::Result& result)
{
    ItemInfoAnswer answer;
    if (result.code < 0 || !ParseItemInfoAnswer(result.text, answer) || answer.ratesums.empty()) {
        emit creditLevelsArrived(0); // no badges from this one: the tiles stay as they are
        return;
    }
    // both orders, so that a later ordering command keeps the badges
    ApplyRatesums(m_records, answer.ratesums);
    ApplyRatesums(m_priceRecords, answer.ratesums);
    int badges = 0;
    for (CTBItemWnd* tile : m_tiles) {
        const auto it = answer.ratesums.find(tile->Record().itemId());
        if (it == answer.ratesums.end() || it->second == tile->Record().ratesum())
            continue;
        tile->SetRatesum(it->second);
        ++badges;
    }
    emit creditLevelsArrived(badges);
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
    connect(tile, &CTBItemWnd::menuRequested, this, [this, tile](const QPoint& at) {
        QMenu* menu = CreateTileMenu(tile);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(at);
        emit contextMenuShown(menu);
    });
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
    // the pictures decoded already go to the tiles that show them now: no decoding again
    const std::map<std::string, QImage> decoded = m_pLoader ? m_pLoader->DecodedPictures() : std::map<std::string, QImage>();
    for (size_t i = 0; i < m_tiles.size() && i < chosen.size(); ++i)
        m_tiles[i]->SetRecord(chosen[i]);
    ApplyPriceSummaries();
    if (m_pLoader)
        m_pLoader->Rebound(decoded);
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
    menu->insertSeparator(first);
    menu->addSeparator();
    yfx::AddPriceMemoryActions(menu, memory, window());
    return menu;
}

QWidget* CLumbra2View::OpenPriceChart(CTBItemWnd* tile)
{
    if (std::find(m_tiles.begin(), m_tiles.end(), tile) == m_tiles.end())
        return nullptr;
    const QString picture = QFile::decodeName(QByteArray::fromStdString(tile->PictureSource().path));
    auto* chart = new CPriceChartWnd(tile->Record(), picture, MainPriceMemory(), window());
    chart->show();
    emit priceChartOpened(chart);
    return chart;
}

void CLumbra2View::OnPictureNotice(int index, bool fetched)
{
    if (index < 0 || static_cast<size_t>(index) >= m_tiles.size())
        return;
    m_tiles[static_cast<size_t>(index)]->PictureReady();
    if (fetched)
        emit pictureArrived(index);
}

void CLumbra2View::UpdateNearTiles()
{
    if (!m_pLoader)
        return;
    const int top = verticalScrollBar()->value();
    const int height = viewport()->height();
    std::vector<bool> near(m_tiles.size());
    for (size_t i = 0; i < m_tiles.size(); ++i)
        near[i] = yfx::TileNearView(m_tiles[i]->y(), m_tiles[i]->height(), top, height);
    m_pLoader->SetNear(near);
}

void CLumbra2View::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    LayoutTiles();
    PlaceStatus();
    UpdateNearTiles();
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
