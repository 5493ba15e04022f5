#pragma once
// A results view: the answer at the document's list-search address as a scrolling grid of
// item tiles, three to a row, less the items of the sellers the configuration names, in sales
// order (the answer's) or price order, with a picture loader that fills in the pictures.
//
// Driven by an IResultsDocument (address, order, title, query) and by the application's
// results host (seller nicks; none: nothing is filtered). When the host's configuration
// selects the open platform and the document carries its query, the view searches the open
// platform's material search for that query instead (a signed POST); its items go through the
// same seller filter (by seller id or shop title), orders, tiles and pictures, and their credit
// levels are asked for once the tiles are shown, the badges appearing as the answers come (an
// answer that withholds the levels ends these requests for the view). A refusal or an
// unreadable answer of the platform is said in the grey text, never in a message box.
//
// Items and tiles are apart. The view's items (ResultItems) hold every record of every page;
// tiles exist only for the rows within one screen of the viewport, bound to rows by index and
// rebound from a bounded pool as the view scrolls, so a view of 600 items costs a few screens
// of tile widgets, and only they hold decoded pictures (decoded on the picture pool). New tiles are made over several turns of the event loop, a frame's worth at
// a time, the rows in sight first. Pictures are asked for only for the tiles bound.
//
// Paging: when the view is scrolled to within one screen of its end and its source has more
// (the last page came full, the platform's total_results is not reached, fewer than 15 pages
// came), the next page is asked for: the list search's address with "&s=<offset>", or the
// material search's next page_no. Its items are filtered, those already shown (by item id)
// left out, and the rest appended to the sales order and merged into the price order. A row
// at the end says "正在加载更多…", "没有更多了" or, after a failed page, "加载失败，点击重试"
// (a click or Enter asks for that page again).
//
// The items shown are handed to the application's price memory, page by page, which answers
// with what it knew of them before: the summaries are kept by item, and each tile shows its
// item's price marker. A right press on a tile shows the tile's menu: "价格走势(&H)" (the
// item's price chart) above the ordering commands, and the memory's own commands.
//
// Keyboard: the view keeps a focused item (not a tile), shown by a frame in the highlight colour
// over its tile while the view has the focus. The arrow keys move it in grid order, Home, End,
// Page Up and Page Down further, each scrolling it into sight; Enter opens the item as a click
// on its title does; the Menu key and Shift+F10 show its tile's menu. A view that gets the focus
// with no focused item focuses its first. The focus stays on its item through ordering
// commands, scrolling, rebound tiles and later pages; a press on a tile moves it there. Focus
// changes are told to assistive technology (QAccessible), which sees every item of the view
// (CViewAccessible).
//
// GUI thread only: the answers and the pictures come through the network engine and reach
// the view by queued calls. Until the first answer is in, the view shows a quiet loading
// state; a view without tiles says why in a short grey text. Destroying the view abandons its
// answers, its credit levels and its pictures at once.
#include "market/OpenPlatformTypes.h"
#include "market/TBRecord.h"
#include "results/AsyncFetch.h"
#include "results/CMoreRow.h"
#include "results/Paging.h"
#include "results/ResultItems.h"
#include "store/StoreTypes.h"

#include <QImage>
#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CPictureLoader;
class CTBItemWnd;
class IResultsDocument;
class QLabel;
class QMenu;
class QProgressBar;
struct Configuration;

class CLumbra2View : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int ID_SORT_BY_SALES = 32782;
    static constexpr int ID_SORT_BY_PRICE = 32783;
    static constexpr int kContextMenuId = 338;
    // The most items a view holds, over all its pages; an answer's records beyond it are not kept.
    static constexpr int kMaxItems = static_cast<int>(yfx::ResultItems::kMaxItems);
    // The longest stretch a turn of the event loop spends making tiles.
    static constexpr int kMakeBudgetMs = 6;

    // `document` must outlive the view; null: the view stays empty.
    explicit CLumbra2View(IResultsDocument* document, QWidget* parent = nullptr);
    ~CLumbra2View() override;

    // Called once by the opener after the view is shown: the empty layout, then the choice of
    // the source and the request for the first page, with the loading state shown until it
    // comes (loadFinished). Returns at once. While the host's configuration is pending the view
    // waits in its loading state (ConfigurationKnown goes on); when the host has no source at
    // all the view shows the first-run text with its two links instead of asking
    // (loadFinished(false)).
    void OnInitialUpdate();
    // The host's configuration is known now: a view waiting for it goes on with its search.
    void ConfigurationKnown();
    // Searches again from the start, for a view that showed the first-run text.
    void SearchAgain();
    // True while the view shows the first-run text.
    bool ShowsFirstRun() const;
    // The label of the first-run text's links ("settings" and "demo"), for tests.
    QLabel* FirstRunLinks() const { return m_firstRunLinks; }
    // Shows a fetched first page (code and text as HttpGetText gives them), read as the source
    // chosen by OnInitialUpdate gives it (the list search before that): true when its items
    // were taken (also when the seller filter left none: an empty view); the tiles of the rows
    // in sight follow over the next turns of the event loop. False when nothing is shown (no
    // document, empty address or no query, failed fetch, unreadable or refused answer, no
    // items) or when an earlier call already showed an answer. An unreadable list answer is
    // also reported to the error reporter (the message box). For the open platform's source,
    // true also asks for the credit levels.
    bool ShowAnswer(const yfx::net::Result& answer);
    // Where the view's items come from, as chosen by OnInitialUpdate.
    ResultSource Source() const { return m_source; }
    // True while credit levels of the view's items are on the way.
    bool CreditLevelsLoading() const;
    // True from OnInitialUpdate until loadFinished: the view waits for the configuration, the
    // first answer is on its way, or the tiles of the rows in sight are being made.
    bool IsLoading() const { return m_answer.Pending() || m_bAnnounce || m_bWaitingForConfiguration; }
    // The grey text shown in place of tiles ("正在搜索…", "没有找到相关商品", "无法连接服务器",
    // "无法读取服务器的回答", a refusal of the open platform), empty when there is none.
    QString StatusText() const;
    // Places the bound tiles, the "more" row and the scroll size (the grid recentred at every
    // layout; its columns never reflow), then binds the rows near the viewport.
    virtual void LayoutTiles();
    // Shows sales order (0) or price order (1): rebinds the tiles in place, switches the title
    // suffix; the picture loader then fetches what the tiles show.
    void ShowOrder(int order);
    // Fills the price order from the items (at most once per view is needed).
    void BuildPriceOrder();

    // The update rule of the two ordering commands: each is enabled exactly when the other
    // order is shown. Unknown ids: false.
    bool IsCommandEnabled(int id) const;
    // Runs an ordering command (ignored while it is disabled or unknown).
    void OnCommand(int id);
    // Popup 0 of menu 338 with the enabled states of now, its actions wired to OnCommand.
    // The caller owns it; null when the menu resource is missing.
    QMenu* CreateContextMenu();
    // The menu of `tile`: "价格走势(&H)", the ordering commands of CreateContextMenu, then
    // "不记录价格" and "清除价格记录…". The caller owns it.
    QMenu* CreateTileMenu(CTBItemWnd* tile);
    static constexpr int ID_PRICE_HISTORY = 32790;
    // Opens the price chart of the record `tile` shows (a window of its own); null for a tile
    // that shows no row of this view.
    QWidget* OpenPriceChart(CTBItemWnd* tile);
    // What the price memory said of the view's items, by item.
    const std::map<yfx::store::ItemKey, yfx::store::PriceSummary>& PriceSummaries() const { return m_priceSummaries; }

    // The items, in rows of the order shown. Rows count from 0; a row at or beyond ItemCount()
    // has no item, no rectangle and no tile.
    int ItemCount() const { return static_cast<int>(m_items.Count()); }
    const CTBRecord& ItemAt(int row) const { return m_items.AtRow(static_cast<std::size_t>(row)); }
    const yfx::ResultItems& Items() const { return m_items; }
    // Row `row`'s cell in the canvas's coordinates (empty for no such row).
    QRect RowRect(int row) const;
    // Scrolls the least needed to show row `row` whole (as far as the viewport allows); its
    // tile is bound at once, made over the next turns when the pool has none free.
    void EnsureRowVisible(int row);
    // The tile showing row `row` now, or null (the row is far from the viewport, or its tile
    // is still to be made).
    CTBItemWnd* TileForRow(int row) const;
    // The row a tile of this view shows now, -1 for none.
    int RowOfTile(const CTBItemWnd* tile) const;

    // The focused row (-1: none). Setting it scrolls the row into sight, moves the frame and
    // tells assistive technology; a row beyond the items is ignored.
    int FocusRow() const;
    void SetFocusRow(int row);
    // Opens the item of `row` as a click on its title does (scrolled into sight first; when its
    // tile is still to be made, once it is). False for no such row.
    bool OpenRow(int row);
    // Shows the tile menu of `row` below its tile's top left corner (its tile made first, as
    // for OpenRow). False for no such row.
    bool ShowRowMenu(int row);
    // The frame over the focused tile (visible while the view has the focus).
    QWidget* FocusFrame() const { return m_focusFrame; }
    // The item's whole price marker ("降¥12.50", …), UTF-8; empty without one.
    std::string MarkerText(int row) const;

    int Order() const { return m_items.Order(); }
    int Left() const { return m_nLeft; }
    bool FirstLayoutPending() const { return m_bFirstLayout; }
    bool PriceOrderBuilt() const { return m_items.PriceOrderBuilt(); }
    int PriceOrderBuilds() const { return m_items.PriceOrderBuilds(); }
    // Every item's record in sales order.
    const std::vector<CTBRecord>& Records() const { return m_items.SalesRecords(); }
    // The tiles bound now, in row order (the rows near the viewport).
    const std::vector<CTBItemWnd*>& Tiles() const { return m_bound; }
    // Every tile widget made so far, bound or waiting in the pool.
    int TileWidgetCount() const { return static_cast<int>(m_slots.size()); }
    // The most tile widgets the view makes for its viewport's height now.
    int TileLimit() const;
    // True while tiles for rows near the viewport are still to be made.
    bool MakingTiles() const { return m_makeTimer.isActive(); }
    // The widget that holds the tiles (its size is the scroll size).
    QWidget* Canvas() const { return m_canvas; }
    // The row at the end of the grid ("正在加载更多…", "没有更多了", "加载失败，点击重试").
    CMoreRow* MoreRow() const { return m_more; }
    // Pages answered and shown so far (the first included).
    int PagesShown() const { return m_nPagesShown; }
    // True while a page after the first is on its way.
    bool PageLoading() const { return m_pageFetch.Pending(); }
    // Asks again for the page that failed (what a click on the "more" row does); false when
    // no page failed.
    bool RetryPage();
    // The picture loader, null before ShowAnswer started one.
    const CPictureLoader* Loader() const { return m_pLoader.get(); }
    // True while pictures of this view are on the way.
    bool PicturesLoading() const;
    // Abandons the pictures under way (what destruction does first).
    void StopPictures();

signals:
    // Inside ShowAnswer: the answer has been read into `count` records (before the seller
    // filter); the tiles follow.
    void answerLoaded(int count);
    // The first answer was handled: `shown` as ShowAnswer returned, once the tiles of the
    // rows in sight are made. Also after a failed fetch.
    void loadFinished(bool shown);
    // The view started or stopped waiting for its first answer.
    void loadingChanged(bool loading);
    // The answer of page `page` (1 the second) has arrived and is about to be read.
    void pageAnswerArrived(int page);
    // Page `page` was read: `added` new items are in the view (0 when it failed; see the
    // "more" row).
    void pageLoaded(int page, int added);
    // The picture of row `row` has been fetched (or could not be had).
    void pictureArrived(int row);
    // An answer of item details has come: `levels` items got a new credit level. Also (with
    // 0) for an answer that failed, could not be read or withheld the levels.
    void creditLevelsArrived(int levels);
    // Every picture asked for so far has been handled.
    void picturesDone();
    // Every row near the viewport has its tile.
    void tilesSettled();
    // The focused row changed (-1: none).
    void focusRowChanged(int row);
    // The context menu was shown (tests and the application may inspect it).
    void contextMenuShown(QMenu* menu);
    // The price memory has answered for the view's items: `markers` tiles show a marker (once
    // the tiles of the rows in reach are made).
    void priceSummariesArrived(int markers);
    // A price chart window was opened.
    void priceChartOpened(QWidget* chart);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class RowAction { None, Open, Menu };
    // Runs `action` on `row` when its tile is there, else once it is bound.
    bool RunOnRow(int row, RowAction action);
    void RunPendingAction();
    void FocusOnRow(int row, bool scroll);
    void PlaceFocusFrame();
    void AnnounceFocus();

    // A tile widget and the row it shows (-1: in the pool, hidden).
    struct Slot {
        CTBItemWnd* tile = nullptr;
        int row = -1;
        std::size_t item = static_cast<std::size_t>(-1);
    };

    void OnPictureNotice(int index, bool fetched);
    void OnAnswer(const yfx::net::Result& result);
    void OnPageAnswer(const yfx::net::Result& result);
    // The source the document and the host's configuration ask for.
    ResultSource ChooseSource() const;
    // The host's configuration with the user's own settings for the open platform.
    Configuration RequestConfiguration() const;
    // Reads a page's answer into `records` (filtered) as the source gives it; false when it
    // cannot be read or was refused (`message`: what to say in the empty view, "" for nothing).
    bool ReadPage(const yfx::net::Result& fetched, std::vector<CTBRecord>& records, yfx::PageAnswer& info,
                  QString& message);
    // Appends a page's records; updates what is known of the pages after it.
    std::size_t TakePage(std::vector<CTBRecord> records, const yfx::PageAnswer& info);
    void RequestPage();
    void MaybeLoadMore();
    void UpdateMoreRow();
    void QueueCreditLevels(const std::vector<CTBRecord>& records);
    // Hands the items from `first` on (sales index) to the price memory and asks for their
    // summaries.
    void RememberPrices(std::size_t first);
    void OnPriceSummaries(const std::vector<yfx::store::PriceSummary>& summaries);
    // Shows the memory's summary of each bound tile's item on the tile; the number of markers.
    int ApplyPriceSummaries();
    // The same for one tile; true when it shows a marker.
    bool ApplyPriceSummary(CTBItemWnd* tile);
    void NextCreditLevels();
    void OnCreditLevels(const yfx::net::Result& result);
    // Shows `text` centred in the view (empty: nothing), with the busy indicator if `busy`.
    void ShowStatus(const QString& text, bool busy);
    void PlaceStatus();
    void ShowFirstRun();
    void OnFirstRunLink(const QString& link);
    // True when the document gives something to ask for (an address or a query).
    bool WantsAnswer() const;

    // Binds tiles to the rows near the viewport: tiles of rows that went out of reach go back
    // to the pool and are rebound to rows that came in; rows left without a tile are made
    // over the next turns.
    void BindRows();
    // Binds slot `slot` to `row` (texts and picture change only when the item does).
    void Bind(std::size_t slot, int row);
    // The rows near the viewport that lack a tile, those in sight first, then those below,
    // then those above (nearest first).
    std::vector<int> RowsLacking() const;
    // One turn's worth of tile making.
    void MakeTiles();
    // Makes one tile widget; false when it cannot be made.
    bool MakeTile();
    // The bound tiles to the loader, in row order; loadFinished once the rows in sight are done.
    void AfterBinding();

    IResultsDocument* m_pDocument;
    yfx::CAsyncFetch m_answer;
    yfx::CAsyncFetch m_pageFetch;
    ResultSource m_source = ResultSource::ListSearch;
    yfx::CAsyncFetch m_creditFetch;                   // item details, 20 ids at a time
    std::deque<std::vector<std::string>> m_creditQueue; // batches still to ask for
    std::set<std::string> m_creditAsked;
    bool m_bCreditWithheld = false;
    std::unique_ptr<CPictureLoader> m_pLoader;
    QWidget* m_statusPane = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_busy = nullptr;
    QLabel* m_firstRunLinks = nullptr;
    bool m_bWaitingForConfiguration = false;
    bool m_bWaited = false; // the search waited for a configuration or a source
    std::string m_strListAddress; // the list search's first page (later ones add "&s=")
    std::map<yfx::store::ItemKey, yfx::store::PriceSummary> m_priceSummaries;
    bool m_bSummariesToTell = false; // summaries came while tiles were being made
    bool m_bFirstLayout = true;
    int m_nScrollBarWidth;
    int m_nLeft = 0;
    yfx::ResultItems m_items;
    std::vector<Slot> m_slots;          // every tile widget, children of m_canvas
    std::vector<int> m_rowSlot;         // row -> slot index, -1 for none
    std::vector<CTBItemWnd*> m_bound;   // the bound tiles in row order
    QSize m_tileSize;                   // known once the first tile is made
    std::map<std::string, QImage> m_handOver; // pictures of items whose tiles were rebound
    QTimer m_makeTimer;
    bool m_bLoaded = false;
    bool m_bAnnounce = false; // loadFinished(true) is due once the rows in sight have tiles
    bool m_bHasMore = false;
    bool m_bPageFailed = false;
    int m_nPagesShown = 0;
    std::string m_totalResults;
    QWidget* m_canvas;
    CMoreRow* m_more;
    QWidget* m_focusFrame;
    std::size_t m_focusItem = static_cast<std::size_t>(-1); // sales index of the focused item
    std::size_t m_pendingItem = static_cast<std::size_t>(-1);
    RowAction m_pendingAction = RowAction::None;
};
