#pragma once
// The core's own Chinese texts. Written once here in UTF-8 and handed out as GBK bytes, the
// form in which every text of the core travels.
#include <string>

namespace yfx::text {

const std::string& ShopNick();         // "青禾小货郎": the seller of today's picks
const std::string& DeveloperCaption(); // "请与程序开发者联系": caption of the unreadable-answer report
const std::string& PlatformRefused();  // "开放平台拒绝了请求：": before the open platform's error message
const std::string& PlatformUnreadable(); // "开放平台的回答无法读取": an open-platform answer that cannot be read

} // namespace yfx::text
