#pragma once
// The user's control over the price memory, in functions any window can call (the tile menu,
// the tab row's document menu, later a settings dialog): recording on or off (remembered
// between runs), clearing everything after a confirmation, and the time rows are kept.
// GUI thread only.
class CPriceMemory;
class QMenu;
class QWidget;

namespace yfx {

// Whether prices are recorded, as saved for the next start (default on).
bool SavedPriceRecording();
// Switches recording on or off now and for later starts.
void SetPriceRecording(CPriceMemory* memory, bool on);

// The days rows are kept, as saved (default CPriceStore::kKeepDays), and a new value that
// also deletes older rows now.
int SavedPriceKeepDays();
void SetPriceKeepDays(CPriceMemory* memory, int days);

// Asks "清除价格记录" over `parent` (a window-modal question that returns at once); when the
// user confirms, everything remembered is deleted. The question box, for tests.
QWidget* AskToClearPrices(CPriceMemory* memory, QWidget* parent);

// Appends "不记录价格" (checked while recording is off) and "清除价格记录…" to `menu`, both
// disabled without a memory or while it is unavailable. `dialogParent` carries the question.
void AddPriceMemoryActions(QMenu* menu, CPriceMemory* memory, QWidget* dialogParent);

} // namespace yfx
