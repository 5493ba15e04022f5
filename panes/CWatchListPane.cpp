#include "panes/CWatchListPane.h"

#include "controls/PictureLoad.h"
#include "res/GbkText.h"
#include "results/CPriceChartWnd.h"
#include "results/CPriceMemory.h"
#include "results/ItemLink.h"
#include "results/PriceMarker.h"
#include "results/QueuedCall.h"
#include "results/ResultsHost.h"
#include "results/WatchActions.h"
#include "store/LocalDay.h"
#include "store/Sighting.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// "12/9 14:05" in the reader's short format: when the row was last checked.
QString CheckedText(std::int64_t time)
{
    if (time <= 0)
        return QStringLiteral("尚未检查");
    const QDateTime at = QDateTime::fromSecsSinceEpoch(time);
    const QLocale locale;
    const bool today = at.date() == QDate::currentDate();
    return QStringLiteral("检查于 ") + (today ? locale.toString(at.time(), QLocale::ShortFormat)
                                             : locale.toString(at, QLocale::ShortFormat));
}

// Draws a row: picture, title, price line, check time and the 30-day line.
class CWatchRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), CWatchListPane::kRowHeight};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        opt.icon = QIcon();
        const QWidget* view = option.widget;
        QStyle* style = view ? view->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, p, view);

        const auto* item = index.data(CWatchListModel::ItemRole).value<const yfx::store::WatchedItem*>();
        if (!item)
            return;
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        const QColor text = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        const QRect r = option.rect.adjusted(4, 4, -4, -4);
        const int pic = CWatchListPane::kPicture;
        const QRect picture(r.left(), r.top() + (r.height() - pic) / 2, pic, pic);
        const QImage image = index.data(CWatchListModel::PictureRole).value<QImage>();
        p->save();
        if (!image.isNull()) {
            const QSizeF logical = image.deviceIndependentSize();
            const QRectF at(picture.left() + (pic - logical.width()) / 2, picture.top() + (pic - logical.height()) / 2,
                            logical.width(), logical.height());
            p->drawImage(at, image);
        } else {
            p->setPen(option.palette.color(QPalette::Mid));
            p->drawRect(picture.adjusted(0, 0, -1, -1));
        }
        const QRect words(picture.right() + 6, r.top(), r.right() - picture.right() - 6, r.height());
        const QFontMetrics fm(option.font);
        const int line = fm.height();
        p->setPen(text);
        p->drawText(QRect(words.left(), words.top(), words.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(Utf8(item->title), Qt::ElideRight, words.width()));
        QColor price = selected ? text : QColor(0xd0, 0x30, 0x20);
        if (item->gone)
            price = option.palette.color(QPalette::Disabled, QPalette::Text);
        p->setPen(price);
        p->drawText(QRect(words.left(), words.top() + line, words.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(Utf8(yfx::WatchPriceLine(*item)), Qt::ElideRight, words.width()));
        QFont small = option.font;
        small.setPointSizeF(small.pointSizeF() * 0.85);
        p->setFont(small);
        const QColor grey = selected ? text : option.palette.color(QPalette::Disabled, QPalette::Text);
        p->setPen(grey);
        constexpr int kSparkWidth = 60;
        const QRect when(words.left(), words.top() + 2 * line, words.width() - kSparkWidth - 4, line);
        p->drawText(when, Qt::AlignLeft | Qt::AlignVCenter, QFontMetrics(small).elidedText(CheckedText(item->lastChecked), Qt::ElideRight, when.width()));
        const QRect spark(words.right() - kSparkWidth + 1, when.top() + 2, kSparkWidth, line - 4);
        const auto points = yfx::SparkLine(item->recent, yfx::store::LocalDay(QDateTime::currentSecsSinceEpoch()),
                                           spark.width(), spark.height());
        if (!points.empty()) {
            QPainterPath path;
            path.moveTo(spark.left() + points.front().first, spark.top() + points.front().second);
            for (const auto& [x, y] : points)
                path.lineTo(spark.left() + x, spark.top() + y);
            p->setRenderHint(QPainter::Antialiasing);
            p->setPen(QPen(selected ? text : option.palette.color(QPalette::Highlight), 1.2));
            p->setBrush(Qt::NoBrush);
            p->drawPath(path);
        }
        p->restore();
    }
};

} // namespace

int CWatchListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

QVariant CWatchListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const yfx::store::WatchedItem& item = m_items[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return Utf8(item.title);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return Utf8(item.title) + QLatin1Char('\n') + Utf8(yfx::WatchPriceLine(item)) + QLatin1Char('\n')
             + CheckedText(item.lastChecked);
    case ItemRole:
        return QVariant::fromValue(&item);
    case PictureRole:
        return m_pictures.value(PictureName(item.key));
    default:
        return {};
    }
}

void CWatchListModel::SetItems(std::vector<yfx::store::WatchedItem> items)
{
    beginResetModel();
    m_items = std::move(items);
    m_names.clear();
    for (const yfx::store::WatchedItem& item : m_items)
        m_names.emplace(item.key, CWatchListPane::PictureNameOf(item));
    Sort();
    endResetModel();
}

void CWatchListModel::SetOrder(yfx::WatchOrder order)
{
    if (order == m_order)
        return;
    emit layoutAboutToBeChanged();
    m_order = order;
    Sort();
    emit layoutChanged();
}

void CWatchListModel::Sort()
{
    QCollator collator(QLocale(QLocale::Chinese, QLocale::China));
    yfx::SortWatched(m_items, m_order, [&collator](const std::string& a, const std::string& b) {
        return collator.compare(Utf8(a), Utf8(b)) < 0;
    });
}

QString CWatchListModel::PictureName(const yfx::store::ItemKey& key) const
{
    const auto it = m_names.find(key);
    return it == m_names.end() ? QString() : it->second;
}

void CWatchListModel::SetPictures(const std::vector<std::pair<QString, QImage>>& pictures)
{
    for (const auto& [name, picture] : pictures)
        m_pictures.insert(name, picture);
    if (!m_items.empty() && !pictures.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {PictureRole});
}

CWatchListPane::CWatchListPane(QWidget* parent)
    : QWidget(parent), m_model(new CWatchListModel(this)), m_list(new QListView(this)),
      m_order(new QComboBox(this)), m_status(new QLabel(this)), m_empty(new QLabel(this)),
      m_check(new QPushButton(QStringLiteral("立即检查(&K)"), this))
{
    setObjectName(QStringLiteral("watchListPane"));
    m_order->addItem(QStringLiteral("按降幅"), static_cast<int>(yfx::WatchOrder::Drop));
    m_order->addItem(QStringLiteral("按价格"), static_cast<int>(yfx::WatchOrder::Price));
    m_order->addItem(QStringLiteral("按标题"), static_cast<int>(yfx::WatchOrder::Title));
    m_order->setAccessibleName(QStringLiteral("排序"));
    m_check->setEnabled(false);
    m_status->setWordWrap(true);
    m_status->setEnabled(false);
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setText(QStringLiteral("还没有关注的商品。\n在商品上右击，选“加入关注”，降价时会提醒你。"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new CWatchRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAccessibleName(QStringLiteral("我的关注"));
    m_list->setObjectName(QStringLiteral("watchList"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_order, 1);
    top->addWidget(m_check);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(top);
    column->addWidget(m_status);
    column->addWidget(m_list, 1);
    column->addWidget(m_empty, 1);
    m_list->hide();

    connect(m_order, &QComboBox::currentIndexChanged, this,
            [this] { m_model->SetOrder(static_cast<yfx::WatchOrder>(m_order->currentData().toInt())); });
    connect(m_check, &QPushButton::clicked, this, &CWatchListPane::checkRequested);
    connect(m_list, &QListView::activated, this, [this](const QModelIndex& index) { OpenRow(index.row()); });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = m_list->indexAt(at);
        if (!index.isValid())
            return;
        QMenu* menu = CreateRowMenu(index.row());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_list->viewport()->mapToGlobal(at));
    });
    SetLastCheck(0, false);
}

void CWatchListPane::SetMemory(CPriceMemory* memory)
{
    if (m_memory)
        disconnect(m_memory, nullptr, this, nullptr);
    m_memory = memory;
    if (m_memory)
        connect(m_memory, &CPriceMemory::watchListChanged, this, &CWatchListPane::Reload);
    Reload();
}

void CWatchListPane::SetLastCheck(std::int64_t time, bool running)
{
    m_lastCheck = time;
    m_bChecking = running;
    m_check->setEnabled(!running && m_memory && m_memory->Available() && m_model->rowCount() > 0);
    if (running)
        m_status->setText(QStringLiteral("正在检查价格…"));
    else if (m_model->rowCount() > 0)
        m_status->setText(QStringLiteral("关注 %1 件，%2").arg(m_model->rowCount()).arg(CheckedText(time)));
    else
        m_status->clear();
    m_status->setVisible(!m_status->text().isEmpty());
}

QString CWatchListPane::EmptyText() const
{
    return m_list->isHidden() ? m_empty->text() : QString();
}

CTBRecord CWatchListPane::RecordOf(const yfx::store::WatchedItem& item)
{
    CTBRecord record;
    record.source = item.key.source;
    record.SetValue(CTBRecord::ItemId, yfx::Utf8ToGbk(item.key.itemId));
    record.SetValue(CTBRecord::Tip, yfx::Utf8ToGbk(item.title));
    record.SetValue(CTBRecord::OriginalImage, yfx::Utf8ToGbk(item.picture));
    record.SetValue(CTBRecord::Href, yfx::Utf8ToGbk(item.page));
    if (item.current)
        record.SetValue(CTBRecord::CurrentPrice, yfx::YuanText(*item.current).substr(std::string("¥").size()));
    record.DeriveThumbnail();
    return record;
}

QString CWatchListPane::PictureNameOf(const yfx::store::WatchedItem& item)
{
    return yfx::QStringFromGbk(yfx::store::PictureFileOf(item.picture, kThumbnailEdge));
}

void CWatchListPane::Reload()
{
    if (!m_memory || !m_memory->Available()) {
        m_model->SetItems({});
        m_empty->setText(QStringLiteral("价格记录不可用，无法关注商品。"));
        m_list->hide();
        m_empty->show();
        SetLastCheck(m_lastCheck, m_bChecking);
        return;
    }
    const std::vector<yfx::store::WatchedItem>& items = m_memory->Watched();
    const QModelIndex current = m_list->currentIndex();
    const yfx::store::ItemKey focused = current.isValid() ? m_model->Items()[static_cast<std::size_t>(current.row())].key
                                                          : yfx::store::ItemKey{};
    m_model->SetItems(items);
    for (std::size_t i = 0; i < m_model->Items().size(); ++i)
        if (current.isValid() && m_model->Items()[i].key == focused)
            m_list->setCurrentIndex(m_model->index(static_cast<int>(i)));
    m_list->setVisible(!items.empty());
    m_empty->setVisible(items.empty());
    SetLastCheck(m_lastCheck, m_bChecking);
    LoadPictures();
    emit listShown(static_cast<int>(items.size()));
}

void CWatchListPane::LoadPictures()
{
    const std::string& folder = PictureFolder();
    if (folder.empty())
        return;
    struct Wanted {
        QString name;
        std::string picture; // the address, for the larger thumbnail's name
    };
    std::vector<Wanted> wanted;
    std::vector<std::pair<QString, QImage>> asked;
    for (const yfx::store::WatchedItem& item : m_model->Items()) {
        const QString name = m_model->PictureName(item.key);
        if (name.isEmpty() || m_model->HasPicture(name))
            continue;
        asked.emplace_back(name, QImage());
        wanted.push_back({name, item.picture});
    }
    m_model->SetPictures(asked); // each asked for once
    // decoded in the pool, a batch at a time, each batch shown by one queued call
    constexpr std::size_t kBatch = 25;
    const QString base = QFile::decodeName(QByteArray::fromStdString(folder));
    const qreal ratio = devicePixelRatioF();
    for (std::size_t first = 0; first < wanted.size(); first += kBatch) {
        std::vector<Wanted> batch(wanted.begin() + static_cast<std::ptrdiff_t>(first),
                                  wanted.begin() + static_cast<std::ptrdiff_t>(std::min(wanted.size(), first + kBatch)));
        yfx::RunInPoolThenCall(
            this,
            [batch = std::move(batch), base, ratio] {
                std::vector<std::pair<QString, QImage>> decoded;
                for (const Wanted& w : batch) {
                    // the tiles of an enlarged desktop kept the larger thumbnail: that one first there
                    QStringList paths{base + w.name};
                    const std::string larger = yfx::store::PictureFileOf(w.picture, kLargeThumbnailEdge);
                    if (!larger.empty())
                        paths.insert(ThumbnailEdgeFor(ratio) == kLargeThumbnailEdge ? 0 : 1, base + yfx::QStringFromGbk(larger));
                    QImage image;
                    for (const QString& path : paths)
                        if (image.isNull() && QFileInfo::exists(path))
                            image = yfx::DecodePicture(path, QSize(480, 480));
                    if (image.isNull())
                        continue;
                    const int side = qRound(kPicture * ratio);
                    image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                    image.setDevicePixelRatio(ratio);
                    decoded.emplace_back(w.name, std::move(image));
                }
                return decoded;
            },
            [this](const std::vector<std::pair<QString, QImage>>& decoded) { m_model->SetPictures(decoded); });
    }
}

QMenu* CWatchListPane::CreateRowMenu(int row)
{
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("打开商品(&O)"), this, [this, row] { OpenRow(row); });
    menu->addAction(QStringLiteral("价格走势(&H)"), this, [this, row] { OpenChart(row); });
    menu->addAction(QStringLiteral("修改目标价(&T)…"), this, [this, row] { EditTarget(row); });
    menu->addSeparator();
    QAction* remove = menu->addAction(QStringLiteral("取消关注(&U)"));
    const yfx::store::ItemKey key = m_model->Items()[static_cast<std::size_t>(row)].key;
    connect(remove, &QAction::triggered, this, [this, key] {
        if (m_memory)
            m_memory->Unwatch(key);
    });
    return menu;
}

void CWatchListPane::OpenRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    yfx::OpenItemByRule(this, RecordOf(m_model->Items()[static_cast<std::size_t>(row)]));
}

bool CWatchListPane::OpenPage(const QString& page)
{
    const std::string wanted = page.toStdString();
    for (const yfx::store::WatchedItem& item : m_model->Items())
        if (!wanted.empty() && item.page == wanted)
            return yfx::OpenItemByRule(this, RecordOf(item));
    return false;
}

void CWatchListPane::OpenChart(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    const CTBRecord record = RecordOf(m_model->Items()[static_cast<std::size_t>(row)]);
    const QString picture = record.thumbFileName.empty() || PictureFolder().empty()
                                ? QString()
                                : QFile::decodeName(QByteArray::fromStdString(PictureFolder())) + yfx::QStringFromGbk(record.thumbFileName);
    (new CPriceChartWnd(record, picture, m_memory, window()))->show();
}

void CWatchListPane::EditTarget(int row)
{
    if (row < 0 || row >= m_model->rowCount() || !m_memory)
        return;
    const yfx::store::WatchedItem& item = m_model->Items()[static_cast<std::size_t>(row)];
    auto* popup = new CTargetPricePopup(item.target, this);
    const yfx::store::ItemKey key = item.key;
    connect(popup, &CTargetPricePopup::accepted, popup, [this, key](std::optional<std::int64_t> target) {
        if (m_memory)
            m_memory->SetTarget(key, target);
    });
    popup->Popup(m_list->viewport()->mapToGlobal(m_list->visualRect(m_model->index(row)).bottomLeft()));
}
