#include "panes/DialogBuilder.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace yfx {

BuiltDialog BuildDialogFromTemplate(QWidget* dialog, const res::DialogTemplate& tpl, const std::vector<int>& skip)
{
    BuiltDialog built;
    const QFont font = res::DialogFont(tpl);
    dialog->setFont(font);
    built.baseUnits = res::DialogBaseUnits(font);
    dialog->setFixedSize(res::DialogUnitsToPixels(QRect(QPoint(0, 0), tpl.size), built.baseUnits).size());

    std::vector<QWidget*> boxes;
    QWidget* previousFocus = nullptr;
    for (const res::DialogControl& c : tpl.controls) {
        if (c.id >= 0 && std::find(skip.begin(), skip.end(), c.id) != skip.end())
            continue;
        QWidget* w = nullptr;
        switch (c.kind) {
        case res::DialogControl::Kind::Edit:
            w = new QLineEdit(dialog);
            break;
        case res::DialogControl::Kind::Button:
            w = new QPushButton(c.text, dialog);
            static_cast<QPushButton*>(w)->setAutoDefault(false);
            break;
        case res::DialogControl::Kind::Label: {
            auto* label = new QLabel(c.text, dialog);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            w = label;
            break;
        }
        case res::DialogControl::Kind::GroupBox:
            w = new QGroupBox(c.text, dialog);
            boxes.push_back(w);
            break;
        case res::DialogControl::Kind::Static:
        case res::DialogControl::Kind::Picture:
            w = new QWidget(dialog);
            break;
        }
        w->setGeometry(res::DialogUnitsToPixels(c.rect, built.baseUnits));
        if (c.id >= 0) {
            w->setObjectName(QString::number(c.id));
            built.byId[c.id] = w;
        }
        if (w->focusPolicy() != Qt::NoFocus) {
            if (previousFocus)
                QWidget::setTabOrder(previousFocus, w);
            previousFocus = w;
        }
    }
    for (QWidget* box : boxes) {
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        box->lower();
    }
    return built;
}

} // namespace yfx
