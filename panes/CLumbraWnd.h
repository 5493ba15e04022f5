#pragma once
// The search pane: keyword, price range, shipping location and exclusion word, searched by
// sales or by price; every search opens a new results window titled "自助搜索". Button 1013
// finds the item pages open in the user's browsers and searches for their titles: the
// browsers' pages are read on a thread of Qt's pool (a session file may take a moment), the
// button showing that it is busy meanwhile. The keywords the user searched for are offered by
// the keyword field's completer, newest first; its context menu clears them ("清除搜索记录").
// The pane keeps them in memory only: its owner stores them.
#include "panes/finder/CBrowserPageSource.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMenu>

class QCompleter;
class QLineEdit;
class QPushButton;
class QStringListModel;

class CLumbraWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 309;

    explicit CLumbraWnd(QWidget* parent = nullptr);
    ~CLumbraWnd() override;

    // Builds the address from the five fields exactly as typed (as GBK) and asks the main
    // window for a results window titled "自助搜索" with `order` (0 sales, 1 price). The search
    // button is disabled meanwhile. Without a main window nothing opens.
    virtual void RunSearch(int order);

    // Where the finder looks for open browser pages; by default the sources of this desktop
    // (Firefox session stores, then the DevTools endpoint), made anew for every run on the GUI
    // thread, then read on a pool thread (a source must not touch widgets).
    using SourceFactory = std::function<std::vector<std::unique_ptr<yfx::CBrowserPageSource>>()>;
    void SetPageSourceFactory(SourceFactory factory);

    // The keywords searched for with the pane's buttons or Enter, newest first (at most 20).
    QStringList KeywordHistory() const;
    // Replaces the history (read back from the settings) without emitting keywordHistoryChanged.
    void SetKeywordHistory(const QStringList& keywords);
    QCompleter* KeywordCompleter() const { return m_completer; }
    // The keyword field's context menu: the edit's own entries, then "清除搜索记录" (disabled
    // when there is nothing to clear). The caller owns it.
    QMenu* CreateKeywordMenu();

    // The titles of the last finder run (GBK), in the order the browsers listed them.
    const std::vector<std::string>& Candidates() const { return m_candidates; }
    // The candidate menu while it is open, else null.
    QMenu* CandidateMenu() const;
    // True from a press of button 1013 until the browsers' pages have been read and acted on.
    bool FinderBusy() const { return m_bFinderBusy; }

    QLineEdit* m_editKeyword = nullptr;    // 1000
    QLineEdit* m_editExclude = nullptr;    // 1002
    QLineEdit* m_editLocation = nullptr;   // 1008
    QLineEdit* m_editPriceLow = nullptr;   // 1004
    QLineEdit* m_editPriceHigh = nullptr;  // 1006
    QPushButton* m_btnSearch = nullptr;    // 1010 "搜索"
    QPushButton* m_btnSearchMore = nullptr; // 1013
    QPushButton* m_btnClear = nullptr;      // 1015 "清除"
    QPushButton* m_btnBySales = nullptr;    // 1017 "按销量排序"
    QPushButton* m_btnByPrice = nullptr;    // 1018 "按价格排序"

public slots:
    void OnSearchBySales();
    void OnSearchByPrice();
    void OnClearFields();
    // The finder: starts reading the browsers' pages and returns. When they are read, one item
    // page searches at once and several offer a menu under button 1013. Ignored while a run is
    // under way: the button is disabled and shows the busy cursor until then.
    void OnSearchMore();
    // A candidate menu command (32772..32781): searches for that title.
    void OnCandidate(int id);
    // Forgets every keyword searched for.
    void ClearKeywordHistory();

signals:
    // The keyword history changed (a search, or it was cleared): its new contents.
    void keywordHistoryChanged(const QStringList& keywords);

signals:
    // A finder run has ended with `candidates` titles (the search or the menu has come).
    void finderFinished(int candidates);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The pages have been read: the titles found (GBK), in the browsers' order.
    void OnItemTitles(std::vector<std::string> titles);
    // One candidate searches at once, several offer the menu; none does nothing.
    void ShowCandidates();
    void SetFinderBusy(bool busy);
    // A search the user asked for: the keyword joins the history, then RunSearch.
    void SearchTyped(int order);
    void CloseCandidateMenu();
    // Input that the open candidate menu receives: true when it was the pane's and is handled.
    bool FilterCandidateMenuEvent(QEvent* event);

    std::vector<std::string> m_candidates;
    // A QObject guard: the event filter compares it with what it watches also while the menu
    // is being destroyed, when it is no longer a QMenu.
    QPointer<QObject> m_candidateMenu;
    SourceFactory m_sourceFactory;
    bool m_bFinderBusy = false;
    QStringListModel* m_keywords = nullptr;
    QCompleter* m_completer = nullptr;
};
