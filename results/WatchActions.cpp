#include "results/WatchActions.h"

#include "results/CPriceMemory.h"
#include "results/PriceMarker.h"
#include "store/Sighting.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

namespace yfx {

namespace {

void TellOutcome(store::WatchOutcome outcome, QWidget* parent)
{
    QString text;
    if (outcome == store::WatchOutcome::Full)
        text = QStringLiteral("最多关注 %1 件商品。请先在“我的关注”里取消一些，再加入新的。").arg(store::kMaxWatched);
    else if (outcome == store::WatchOutcome::Failed)
        text = QStringLiteral("无法加入关注：价格记录不可用。");
    if (text.isEmpty() || !parent)
        return;
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("加入关注"), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("watchRefused"));
    box->open();
}

} // namespace

void WatchItem(CPriceMemory* memory, const CTBRecord& record, std::optional<std::int64_t> target, QWidget* parent)
{
    if (!memory)
        return;
    memory->Watch(parent, record, target, [parent](store::WatchOutcome outcome) { TellOutcome(outcome, parent); });
}

void AddWatchAction(QMenu* menu, QAction* before, CPriceMemory* memory, const CTBRecord& record, QWidget* parent)
{
    const store::ItemKey key = store::KeyOf(record);
    const bool watched = memory && memory->IsWatched(key);
    auto* action = new QAction(watched ? QStringLiteral("取消关注") : QStringLiteral("加入关注(&W)"), menu);
    action->setObjectName(QStringLiteral("watchAction"));
    action->setEnabled(memory && memory->Available() && !key.itemId.empty() && store::ShownTotal(record));
    QObject::connect(action, &QAction::triggered, menu, [memory, record, key, watched, parent] {
        if (watched) {
            memory->Unwatch(key);
            return;
        }
        auto* popup = new CTargetPricePopup(std::nullopt, parent);
        QObject::connect(popup, &CTargetPricePopup::accepted, popup,
                         [memory, record, parent](std::optional<std::int64_t> target) { WatchItem(memory, record, target, parent); });
        popup->Popup(QCursor::pos());
    });
    menu->insertAction(before, action);
}

} // namespace yfx

CTargetPricePopup::CTargetPricePopup(std::optional<std::int64_t> current, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_field(new QLineEdit(this)), m_hint(new QLabel(this))
{
    setObjectName(QStringLiteral("targetPricePopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::StyledPanel);
    auto* label = new QLabel(QStringLiteral("目标价(&T)"), this);
    label->setBuddy(m_field);
    m_field->setPlaceholderText(QStringLiteral("可不填"));
    m_field->setMaxLength(16);
    m_field->setAccessibleName(QStringLiteral("目标价"));
    if (current)
        m_field->setText(QString::fromStdString(yfx::YuanText(*current)).mid(1)); // without "¥"
    m_hint->setText(QStringLiteral("降到此价时提醒；按 Enter 确定"));
    m_hint->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(new QLabel(QStringLiteral("¥"), this));
    row->addWidget(m_field);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 6, 8, 6);
    column->addLayout(row);
    column->addWidget(m_hint);
    connect(m_field, &QLineEdit::returnPressed, this, &CTargetPricePopup::Accept);
}

void CTargetPricePopup::Popup(const QPoint& globalPos)
{
    adjustSize();
    QPoint at = globalPos;
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - width())));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - height())));
    }
    move(at);
    show();
    m_field->setFocus(Qt::PopupFocusReason);
    m_field->selectAll();
}

void CTargetPricePopup::Accept()
{
    const yfx::TargetEntry entry = yfx::ReadTargetText(m_field->text().toStdString());
    if (!entry.valid) {
        m_hint->setEnabled(true);
        m_hint->setText(QStringLiteral("请输入金额，如 59.90，或留空"));
        return;
    }
    emit accepted(entry.cents);
    close();
}
