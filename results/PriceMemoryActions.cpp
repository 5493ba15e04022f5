#include "results/PriceMemoryActions.h"

#include "results/CPriceMemory.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace yfx {

namespace {
const QString kRecordingKey = QStringLiteral("PriceMemory/Recording");
const QString kKeepDaysKey = QStringLiteral("PriceMemory/KeepDays");
} // namespace

bool SavedPriceRecording()
{
    return QSettings().value(kRecordingKey, true).toBool();
}

void SetPriceRecording(CPriceMemory* memory, bool on)
{
    QSettings().setValue(kRecordingKey, on);
    if (memory)
        memory->SetRecording(on);
}

int SavedPriceKeepDays()
{
    bool ok = false;
    const int days = QSettings().value(kKeepDaysKey, store::CPriceStore::kKeepDays).toInt(&ok);
    return ok && days > 0 ? days : store::CPriceStore::kKeepDays;
}

void SetPriceKeepDays(CPriceMemory* memory, int days)
{
    if (days <= 0)
        return;
    QSettings().setValue(kKeepDaysKey, days);
    if (memory)
        memory->Prune(days);
}

QWidget* AskToClearPrices(CPriceMemory* memory, QWidget* parent)
{
    auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("清除价格记录"),
                                QStringLiteral("删除本机记下的全部商品和价格？删除后无法恢复。"), QMessageBox::NoButton,
                                parent);
    box->setObjectName(QStringLiteral("clearPricesQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* clear = box->addButton(QStringLiteral("清除"), QMessageBox::DestructiveRole);
    clear->setObjectName(QStringLiteral("clearPrices"));
    box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box->setDefaultButton(qobject_cast<QPushButton*>(box->buttons().constLast()));
    QPointer<CPriceMemory> target = memory;
    QObject::connect(clear, &QPushButton::clicked, box, [target] {
        if (target)
            target->Clear();
    });
    box->open();
    return box;
}

void AddPriceMemoryActions(QMenu* menu, CPriceMemory* memory, QWidget* dialogParent)
{
    const bool usable = memory && memory->Available();
    QAction* off = menu->addAction(QStringLiteral("不记录价格"));
    off->setObjectName(QStringLiteral("priceRecordingOff"));
    off->setCheckable(true);
    off->setChecked(memory ? !memory->Recording() : !SavedPriceRecording());
    off->setEnabled(usable);
    QPointer<CPriceMemory> target = memory;
    QObject::connect(off, &QAction::toggled, menu, [target](bool checked) {
        if (target)
            SetPriceRecording(target, !checked);
    });
    QAction* clear = menu->addAction(QStringLiteral("清除价格记录…"));
    clear->setObjectName(QStringLiteral("clearPriceRecords"));
    clear->setEnabled(usable);
    QPointer<QWidget> parent = dialogParent;
    QObject::connect(clear, &QAction::triggered, menu, [target, parent] {
        if (target)
            AskToClearPrices(target, parent);
    });
}

} // namespace yfx
