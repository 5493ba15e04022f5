#pragma once
// A results view: the answer at the document's list-search address as a scrolling grid of
// item tiles, three to a row, less the items of the sellers the configuration names, in sales
// order (the answer's) or price order, with a picture worker that fills in the pictures.
//
// Driven by an IResultsDocument (address, order, title) and by the application's results
// host (seller nicks; none: nothing is filtered). GUI thread only; the picture worker is the
// one other thread and touches only the tiles' picture addresses. Destroying the view stops
// the worker, abandoning the download under way, and waits for it.
#include "market/TBRecord.h"

#include <QScrollArea>

#include <atomic>
#include <memory>
#include <vector>

class CPictureWorker;
class CTBItemWnd;
class IResultsDocument;
class QMenu;

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

    // Called once by the opener after the view is shown: the empty layout, then
    // LoadResults(). Blocks for the fetch of the answer.
    void OnInitialUpdate();
    // Fetches and shows the answer: true when tiles were created and the worker started (also
    // when the seller filter left no record: an empty view whose worker ends at once); false
    // when nothing is shown (no document, empty address, failed fetch, unreadable answer, no
    // items) or when an earlier call already showed the answer.
    bool LoadResults();
    // Creates a hidden tile for the record and appends it; null when it cannot be created.
    CTBItemWnd* AddTile(const CTBRecord& record);
    // Places the tiles (every one at the first layout, later only recentred) and sets the
    // scroll size.
    virtual void LayoutTiles();
    // Shows sales order (0) or price order (1): rebinds the tiles in place, switches the title
    // suffix; the picture worker then fetches what the tiles show.
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
    // The worker, null before LoadResults started one.
    const CPictureWorker* Worker() const { return m_pWorker.get(); }
    // True while the picture worker runs.
    bool PicturesLoading() const;
    // Sets the stop flag and waits for the worker (what destruction does first).
    void StopPictures();

signals:
    // GUI thread, inside LoadResults: the answer has been read into `count` records (before the
    // seller filter); the tiles follow.
    void answerLoaded(int count);
    // GUI thread: the worker has handled tile `index` (its picture may have arrived).
    void pictureArrived(int index);
    // GUI thread: a run of the picture worker has ended.
    void picturesDone();
    // The context menu was shown (tests and the application may inspect it).
    void contextMenuShown(QMenu* menu);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private slots:
    // Queued calls of the picture worker.
    void OnPictureNotice(int index, bool fetched);
    void OnPicturesDone();

private:
    IResultsDocument* m_pDocument;
    std::unique_ptr<CPictureWorker> m_pWorker;
    std::atomic<bool> m_bStop{false};
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
    QWidget* m_canvas;
};
