#pragma once
// "我的关注": the navigation bar's page of watched items. One row per item: its picture, title,
// current price (after coupon where known), lowest seen, target, when it was last checked and
// a line of the last 30 days' prices; "已下架" for an item the platform no longer knows. Rows
// sort by the drop since the item was added, by price or by title. Enter or a double-click
// opens the item as a click on its tile does; the context menu offers 价格走势, 修改目标价
// and 取消关注. The list is the one the price memory holds, shown again whenever the memory
// says the watch list changed; the pictures come from the picture folder, decoded in the pool.
// GUI thread only.
#include "market/TBRecord.h"
#include "results/WatchListRules.h"
#include "store/WatchTypes.h"

#include <QAbstractListModel>
#include <QHash>
#include <QImage>
#include <QWidget>

#include <map>
#include <vector>

class CPriceMemory;
class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QPushButton;

// The rows of the page, in the order chosen.
class CWatchListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { ItemRole = Qt::UserRole + 1, PictureRole };
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void SetItems(std::vector<yfx::store::WatchedItem> items);
    void SetOrder(yfx::WatchOrder order);
    yfx::WatchOrder Order() const { return m_order; }
    const std::vector<yfx::store::WatchedItem>& Items() const { return m_items; }
    // Pictures decoded for their files (name, picture; a null picture marks one asked for).
    void SetPictures(const std::vector<std::pair<QString, QImage>>& pictures);
    // The picture file name of an item's row.
    QString PictureName(const yfx::store::ItemKey& key) const;
    bool HasPicture(const QString& name) const { return m_pictures.contains(name); }

private:
    void Sort();

    std::vector<yfx::store::WatchedItem> m_items;
    yfx::WatchOrder m_order = yfx::WatchOrder::Drop;
    QHash<QString, QImage> m_pictures; // by picture file name
    std::map<yfx::store::ItemKey, QString> m_names; // each item's picture file name
};

class CWatchListPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 64;
    static constexpr int kPicture = 52;

    explicit CWatchListPane(QWidget* parent = nullptr);

    // Reads the list from `memory` now and whenever it changes (null: the page says the
    // memory is unavailable).
    void SetMemory(CPriceMemory* memory);
    // When the watched items were last checked (0: never), for the line above the list.
    void SetLastCheck(std::int64_t time, bool running);

    CWatchListModel* Model() const { return m_model; }
    QListView* List() const { return m_list; }
    // The text shown in place of the list ("还没有关注的商品…"), empty while rows show.
    QString EmptyText() const;
    // The row's record, as a tile would hold it (GBK texts, the picture's file name derived).
    static CTBRecord RecordOf(const yfx::store::WatchedItem& item);
    // The file name of the item's ordinary thumbnail in the picture folder (RecordOf's).
    static QString PictureNameOf(const yfx::store::WatchedItem& item);
    // The row's menu: 价格走势, 修改目标价, 取消关注. The caller owns it.
    QMenu* CreateRowMenu(int row);
    // Opens the item of `row` as its tile would.
    void OpenRow(int row);
    // Opens the listed item whose page is `page`; false when no row has it.
    bool OpenPage(const QString& page);

signals:
    // The list was read again (`rows` items).
    void listShown(int rows);
    // "立即检查" was pressed.
    void checkRequested();

private:
    void Reload();
    void LoadPictures();
    void OpenChart(int row);
    void EditTarget(int row);

    CPriceMemory* m_memory = nullptr;
    CWatchListModel* m_model;
    QListView* m_list;
    QComboBox* m_order;
    QLabel* m_status;
    QLabel* m_empty;
    QPushButton* m_check;
    std::int64_t m_lastCheck = 0;
    bool m_bChecking = false;
};
