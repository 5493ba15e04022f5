#pragma once
// Watching an item from wherever it shows: the tile menu's "加入关注(&W)" / "取消关注", the
// small popup that asks for an optional target price ("目标价"; Enter accepts it empty), and
// the message when the watch list is full. GUI thread only.
#include "market/TBRecord.h"
#include "results/WatchListRules.h"

#include <cstdint>
#include <optional>

#include <QFrame>

class CPriceMemory;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QWidget;

namespace yfx {


// Puts "加入关注(&W)" for an item that is not watched, "取消关注" for one that is, before
// `before` (null: at the end); disabled
// without a memory, while it is unavailable, or for an item with no id or price. Adding asks
// for the target in a popup at the pointer; the outcome is told over `parent` when the item
// could not be added.
void AddWatchAction(QMenu* menu, QAction* before, CPriceMemory* memory, const CTBRecord& record, QWidget* parent);

// Adds `record` with `target` and tells over `parent` when the list is full or the store
// failed (a window-modal box that returns at once).
void WatchItem(CPriceMemory* memory, const CTBRecord& record, std::optional<std::int64_t> target, QWidget* parent);

} // namespace yfx

// The popup that asks for a target price: a label "目标价", a field for yuan and a short hint.
// Enter accepts (also empty: no target), Escape or a click elsewhere closes it. Deletes itself.
class CTargetPricePopup : public QFrame {
    Q_OBJECT
public:
    // `current` (cents) is shown as the field's first text when there is one.
    explicit CTargetPricePopup(std::optional<std::int64_t> current, QWidget* parent = nullptr);
    // Shows the popup with its top left corner at `globalPos`, kept on the screen.
    void Popup(const QPoint& globalPos);
    QLineEdit* Field() const { return m_field; }

signals:
    void accepted(std::optional<std::int64_t> target);

private:
    void Accept();

    QLineEdit* m_field;
    QLabel* m_hint;
};
