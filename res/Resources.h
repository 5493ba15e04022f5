#pragma once
// The program's resources: numbered strings, dialog templates as data, menus and pictures,
// compiled in with Qt's resource system. Texts are returned as QString (UTF-8 source).
#include <QByteArray>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QString>
#include <vector>

class QMenu;
class QWidget;

namespace yfx::res {

// String table: 101, 125, 132, 251, 252, 253, 254, 258, 57344, and the status texts.
enum StringId : int {
    IDS_OLE_INIT_FAILED = 101,  // "OLE 初始化失败。请确保 OLE 库是正确的版本。"
    IDS_TOOLBAR_CUSTOMIZE = 125, // "自定义..."
    IDS_WINDOWS_MANAGER = 132,  // "窗口(&W)..."
    IDS_SEARCH_PANE = 251,      // "自助搜索"
    IDS_SHORTCUTS = 252,        // "快捷方式"
    IDS_HOT_RANKING = 253,      // "热卖排行"
    IDS_TODAYS_PICKS = 254,     // "悦丰选今日推荐"
    IDS_OUTLOOK_BAR = 258,      // "Outlook 栏"
    IDS_APP_TITLE = 57344,      // "悦丰选网购助手"
    IDS_STATUS_READY = 57345,   // "就绪"
    IDS_INDICATOR_CAPS = 59137, // "CAP"
    IDS_INDICATOR_NUM = 59138,  // "NUM"
    IDS_INDICATOR_SCRL = 59139, // "SCRL"
    // what a results view shows while it has no tiles
    IDS_SEARCHING = 61440,      // "正在搜索…"
    IDS_NO_ITEMS = 61441,       // "没有找到相关商品"
    IDS_CANNOT_CONNECT = 61442, // "无法连接服务器"
    IDS_UNREADABLE_ANSWER = 61443, // "无法读取服务器的回答"
};

// The string with that number, or an empty string when there is none.
QString String(int id);

// A control of a dialog template. Rectangles are in dialog units.
struct DialogControl {
    enum class Kind { Edit, Button, Label, GroupBox, Static, Picture };
    enum Style : unsigned {
        AlignLeft = 0, AlignCenter = 1, AlignRight = 2, // SS_LEFT / SS_CENTER / SS_RIGHT
        CenterImage = 4,                                // SS_CENTERIMAGE (vertically centred)
        Frame = 8,                                      // a framed static
        Border = 16, TabStop = 32, AutoHScroll = 64,
    };
    int id = -1;      // -1 for controls without an id
    Kind kind = Kind::Label;
    QString text;
    QRect rect;       // x, y, w, h in dialog units
    unsigned style = 0;
};

struct DialogTemplate {
    int id = 0;
    QSize size;        // dialog units
    QString fontName;  // "MS Shell Dlg"
    int pointSize = 9;
    std::vector<DialogControl> controls; // template order
};

// Templates 309 (search pane), 311 (item tile), 312 (home page). Null for an unknown id.
const DialogTemplate* Dialog(int id);

// The font that stands in for a template's dialog font on this platform: the application's
// interface font (or "WenQuanYi Micro Hei" when there is no QGuiApplication) at the
// template's point size.
QFont DialogFont(const DialogTemplate& dlg);

// The dialog font's base units in pixels, measured from the font actually used: width =
// (advance of "A..Za..z" / 26 + 1) / 2 in integers (the average letter width, rounded),
// height = the font's line height. Needs a QGuiApplication (font metrics).
QSize DialogBaseUnits(const QFont& font);

// Dialog units -> pixels: x and width * baseWidth / 4, y and height * baseHeight / 8, each
// rounded to the nearest integer (halves away from zero), as MulDiv does.
QRect DialogUnitsToPixels(const QRect& du, QSize baseUnits);

// A menu resource: a list of popups, each with items (id 0 and empty text: separator).
struct MenuItem {
    int id = 0;
    QString text;
    std::vector<MenuItem> items; // non-empty for a popup
};
// Menus 128, 130 (popup "文件(&F)"), 310 (popup "类目": 32771 "查询"),
// 338 (popup "排序": 32782 "按销量排序", 32783 "按价格排序"). Null for an unknown id.
const std::vector<MenuItem>* Menu(int id);

// A QMenu for popup `index` of menu `menuId`, each action's data() holding its command id.
// Null for an unknown menu or index. The caller owns the result.
QMenu* CreatePopupMenu(int menuId, int index, QWidget* parent);

// Raw bytes of a typed resource, as the program stores it: type "GIF" ids 315..334 hold the
// credit badges (Windows bitmaps: 8 bits with a palette for 315..319, 32 bits for the others);
// type "BITMAP" ids 189, 191, 335, 336, 337; type "ICON" ids 128, 130 (.ico files). Empty
// when there is no such resource or `type` is null. Type names compare without regard to
// case. Any thread; needs no QGuiApplication.
QByteArray ResourceData(const char* type, int id);

// The pictures of types "GIF" and "BITMAP" come twice: as they are and drawn at twice the
// pixels ("315@2x.bmp"), for screens of more device pixels than logical ones. For a `ratio`
// above 1 Qt's rule for such files chooses: "NAME@Nx" for the largest N from ceil(ratio) down
// to 2 that exists, else the plain file. A picture read from an "@Nx" file has the device pixel
// ratio N, so that it measures what the plain one measures in logical pixels.

// The resource path of a typed resource for `ratio` (see above); empty for an unknown one.
QString ResourcePath(const char* type, int id, qreal ratio = 1);
// The bytes of that file and the device pixel ratio it was drawn for (1 or N).
struct ResourceFile {
    QByteArray data;
    int ratio = 1;
};
ResourceFile ResourceDataFor(const char* type, int id, qreal ratio);

// A bitmap resource decoded (189, 191, 335, 336, 337) for `ratio`; null image when missing.
// Any thread; needs no QGuiApplication.
QImage BitmapImage(int id, qreal ratio = 1);

// The same as a pixmap, for the application's device pixel ratio; a null pixmap when missing.
// Pixmaps exist only on the GUI thread of a QGuiApplication: Qt aborts on any QPixmap, even a
// null one, made without an application, so this needs one; called off the GUI thread it
// returns a null pixmap.
QPixmap Bitmap(int id);

// An image strip cut into images of the given width (in logical pixels), left to right, with
// magenta (255, 0, 255) made fully transparent (strips 189 with width 24, 191 with width 16). A
// remainder narrower than `width` is dropped; empty for a missing strip or width <= 0.
// ImageStripImages works anywhere; ImageStrip, like Bitmap, needs the GUI thread and takes the
// application's device pixel ratio.
std::vector<QImage> ImageStripImages(int id, int width, qreal ratio = 1);
std::vector<QPixmap> ImageStrip(int id, int width);

// Icons 128 (main frame) and 130 (results windows), with every size the icon file holds
// (16, 24, 32, 48, 64), decoded once per id. A null icon for another id, or without a
// QGuiApplication. GUI thread only.
QIcon Icon(int id);

} // namespace yfx::res
