#pragma once
// A results view: the answer at the document's list-search address as a scrolling grid of
// item tiles, three to a row, less the items of the sellers the configuration names, in sales
// order (the answer's) or price order, with a picture loader that fills in the pictures.
//
// Driven by an IResultsDocument (address, order, title, query) and by the application's
// results host (seller nicks; none: nothing is filtered). When the host's configuration
// selects the open platform and the document carries its query, the view searches the open
// platform's material search for that query instead (a signed POST); its items go through the
// same seller filter (by shop title), orders, tiles and pictures, and their credit levels are
// asked for once the tiles are shown, the badges appearing as the answers come. A refusal or
// an unreadable answer of the platform is said in the grey text, never in a message box.
// Only the tiles within two view heights of the part in sight hold decoded pictures; the others
// drop theirs and decode them again when a scroll brings them near.
//
// The items shown are handed to the application's price memory, which answers with what it
// knew of them before: each tile then shows its price marker. A right press on a tile shows
// the tile's menu: "价格走势(&H)" (the item's price chart) above the ordering commands, and
// the memory's own commands.
//
// GUI thread only: the answers and the pictures come through the network engine and reach
// the view by queued calls. Until the answer is in, the view shows a quiet loading state; a
// view without tiles says why in a short grey text. Destroying the view abandons its answer,
// its credit levels and its pictures at once.
#include "market/OpenPlatformTypes.h"
#include "market/TBRecord.h"
#include "results/AsyncFetch.h"
#include "store/StoreTypes.h"

#include <QScrollArea>

#include <map>
#include <memory>
#include <vector>

class CPictureLoader;
class CTBItemWnd;
class IResultsDocument;
class QLabel;
class QMenu;
class QProgressBar;

class CLumbra2View : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int ID_SORT_BY_SALES = 32782;
    static constexpr int ID_SORT_BY_PRICE = 32783;
    static constexpr int kContextMenuId = 338;
    // An answer holds one page of items; records beyond this many get no tile.
    static constexpr int kMaxTiles = 600;

    // `document` must outlive the view; null: the view stays empty.
    explicit CLumbra2View(IResultsDocument* document, QWidget* parent = nullptr);
    ~CLumbra2View() override;

    // Called once by the opener after the view is shown: the empty layout, then the choice of
    // the source and the request for the answer, with the loading state shown until it comes
    // (loadFinished). Returns at once. While the host's configuration is pending the view waits
    // in its loading state (ConfigurationKnown goes on); when the host has no source at all the
    // view shows the first-run text with its two links instead of asking (loadFinished(false)).
    void OnInitialUpdate();
    // The host's configuration is known now: a view waiting for it goes on with its search.
    void ConfigurationKnown();
    // Searches again from the start, for a view that showed the first-run text.
    void SearchAgain();
    // True while the view shows the first-run text.
    bool ShowsFirstRun() const;
    // The label of the first-run text's links ("settings" and "demo"), for tests.
    QLabel* FirstRunLinks() const { return m_firstRunLinks; }
    // Shows a fetched answer (code and text as HttpGetText gives them), read as the source
    // chosen by OnInitialUpdate gives it (the list search before that): true when tiles were
    // created and the pictures asked for (also when the seller filter left no record: an empty
    // view); false when nothing is shown (no document, empty address or no query, failed fetch,
    // unreadable or refused answer, no items) or when an earlier call already showed an answer.
    // An unreadable list answer is also reported to the error reporter (the message box).
    // For the open platform's source, true also asks for the credit levels.
    bool ShowAnswer(const yfx::net::Result& answer);
    // Where the view's items come from, as chosen by OnInitialUpdate.
    ResultSource Source() const { return m_source; }
    // True while credit levels of the view's items are on the way.
    bool CreditLevelsLoading() const;
    // True from OnInitialUpdate until the answer was handled (waiting for the configuration too).
    bool IsLoading() const { return m_answer.Pending() || m_bWaitingForConfiguration; }
    // The grey text shown in place of tiles ("正在搜索…", "没有找到相关商品", "无法连接服务器",
    // "无法读取服务器的回答", a refusal of the open platform), empty when there is none.
    QString StatusText() const;
    // Creates a hidden tile for the record and appends it; null when it cannot be created.
    CTBItemWnd* AddTile(const CTBRecord& record);
    // Places the tiles (every one at the first layout, later only recentred) and sets the
    // scroll size.
    virtual void LayoutTiles();
    // Shows sales order (0) or price order (1): rebinds the tiles in place, switches the title
    // suffix; the picture loader then fetches what the tiles show.
    void ShowOrder(int order);
    // Fills the price order from the records (at most once per view is needed).
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
    // Opens the price chart of the record `tile` shows (a window of its own).
    QWidget* OpenPriceChart(CTBItemWnd* tile);
    // What the price memory said of the view's items, by item.
    const std::map<yfx::store::ItemKey, yfx::store::PriceSummary>& PriceSummaries() const { return m_priceSummaries; }

    int Order() const { return m_nOrder; }
    int Left() const { return m_nLeft; }
    bool FirstLayoutPending() const { return m_bFirstLayout; }
    bool PriceOrderBuilt() const { return m_bPriceOrderBuilt; }
    int PriceOrderBuilds() const { return m_nPriceOrderBuilds; }
    const std::vector<CTBRecord>& Records() const { return m_records; }
    const std::vector<CTBRecord>& PriceRecords() const { return m_priceRecords; }
    const std::vector<CTBItemWnd*>& Tiles() const { return m_tiles; }
    // The widget that holds the tiles (its size is the scroll size).
    QWidget* Canvas() const { return m_canvas; }
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
    // The answer was handled: `shown` as ShowAnswer returned. Also after a failed fetch.
    void loadFinished(bool shown);
    // The view started or stopped waiting for its answer.
    void loadingChanged(bool loading);
    // The picture of tile `index` has been fetched (or could not be had).
    void pictureArrived(int index);
    // An answer of item details has come: `badges` tiles show a new credit level. Also
    // (with 0) for an answer that failed or could not be read.
    void creditLevelsArrived(int badges);
    // Every picture asked for so far has been handled.
    void picturesDone();
    // The context menu was shown (tests and the application may inspect it).
    void contextMenuShown(QMenu* menu);
    // The price memory has answered for the view's items: `markers` tiles show a marker.
    void priceSummariesArrived(int markers);
    // A price chart window was opened.
    void priceChartOpened(QWidget* chart);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnPictureNotice(int index, bool fetched);
    // Tells the loader which tiles lie within two view heights of the part in sight: their
    // pictures are decoded, the others' dropped. On every scroll and resize.
    void UpdateNearTiles();
    void OnAnswer(const yfx::net::Result& result);
    // The source the document and the host's configuration ask for.
    ResultSource ChooseSource() const;
    // Reads the answer into m_records as the source gives it; false (with the grey text when
    // there is one to say) when nothing can be shown.
    bool ReadAnswer(const yfx::net::Result& answer);
    void RequestCreditLevels();
    void OnCreditLevels(const yfx::net::Result& result);
    // Hands the items shown to the price memory and asks for their summaries.
    void RememberPrices();
    void OnPriceSummaries(const std::vector<yfx::store::PriceSummary>& summaries);
    // Shows the memory's summary of each tile's record on the tile; the number of markers.
    int ApplyPriceSummaries();
    // Shows `text` centred in the view (empty: nothing), with the busy indicator if `busy`.
    void ShowStatus(const QString& text, bool busy);
    void PlaceStatus();
    void ShowFirstRun();
    void OnFirstRunLink(const QString& link);
    // True when the document gives something to ask for (an address or a query).
    bool WantsAnswer() const;

    IResultsDocument* m_pDocument;
    yfx::CAsyncFetch m_answer;
    ResultSource m_source = ResultSource::ListSearch;
    std::vector<std::unique_ptr<yfx::CAsyncFetch>> m_creditFetches; // item details, 20 ids each
    std::unique_ptr<CPictureLoader> m_pLoader;
    QWidget* m_statusPane = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_busy = nullptr;
    QLabel* m_firstRunLinks = nullptr;
    bool m_bWaitingForConfiguration = false;
    bool m_bWaited = false; // the search waited for a configuration or a source
    bool m_bFirstLayout = true;
    int m_nScrollBarWidth;
    int m_nLeft = 0;
    std::vector<CTBRecord> m_records;
    std::vector<CTBRecord> m_priceRecords;
    std::vector<CTBItemWnd*> m_tiles; // children of m_canvas, deleted with it
    bool m_bPriceOrderBuilt = false;
    int m_nOrder = 0;
    int m_nPriceOrderBuilds = 0;
    bool m_bLoaded = false;
    std::map<yfx::store::ItemKey, yfx::store::PriceSummary> m_priceSummaries;
    QWidget* m_canvas;
};
