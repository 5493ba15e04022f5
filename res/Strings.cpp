// The string table.
#include "res/Resources.h"

namespace yfx::res {

QString String(int id)
{
    switch (id) {
    case IDS_OLE_INIT_FAILED:
        return QStringLiteral("OLE 初始化失败。请确保 OLE 库是正确的版本。");
    case IDS_TOOLBAR_CUSTOMIZE:
        return QStringLiteral("自定义...");
    case IDS_WINDOWS_MANAGER:
        return QStringLiteral("窗口(&W)...");
    case IDS_SEARCH_PANE:
        return QStringLiteral("自助搜索");
    case IDS_SHORTCUTS:
        return QStringLiteral("快捷方式");
    case IDS_HOT_RANKING:
        return QStringLiteral("热卖排行");
    case IDS_TODAYS_PICKS:
        return QStringLiteral("悦丰选今日推荐");
    case IDS_OUTLOOK_BAR:
        return QStringLiteral("Outlook 栏");
    case IDS_APP_TITLE:
        return QStringLiteral("悦丰选网购助手");
    case IDS_STATUS_READY:
        return QStringLiteral("就绪");
    case IDS_INDICATOR_CAPS:
        return QStringLiteral("CAP");
    case IDS_INDICATOR_NUM:
        return QStringLiteral("NUM");
    case IDS_INDICATOR_SCRL:
        return QStringLiteral("SCRL");
    case IDS_SEARCHING:
        return QStringLiteral("正在搜索…");
    case IDS_NO_ITEMS:
        return QStringLiteral("没有找到相关商品");
    case IDS_CANNOT_CONNECT:
        return QStringLiteral("无法连接服务器");
    case IDS_UNREADABLE_ANSWER:
        return QStringLiteral("无法读取服务器的回答");
    }
    return {};
}

} // namespace yfx::res
