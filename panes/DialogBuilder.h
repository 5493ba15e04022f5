#pragma once
// Child dialogs made from the program's dialog templates: each control of the template
// becomes a Qt widget at its template rectangle, converted from dialog units with the base
// units of the template's font on this platform.
#include "res/Resources.h"

#include <map>

class QWidget;

namespace yfx {

struct BuiltDialog {
    std::map<int, QWidget*> byId; // controls with an id
    QSize baseUnits;              // the dialog font's base units
};

// Sets the dialog's font and fixed size from the template and creates every control as a
// child: Edit -> QLineEdit, Button -> QPushButton, Label -> QLabel (word-wrapped),
// GroupBox -> QGroupBox (kept beneath the other controls), Static/Picture -> a plain QWidget
// unless `skip` holds the id (the caller then makes that control itself). Tab order follows
// the template.
BuiltDialog BuildDialogFromTemplate(QWidget* dialog, const res::DialogTemplate& tpl,
                                    const std::vector<int>& skip = {});

} // namespace yfx
