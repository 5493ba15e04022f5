#pragma once
// The core's own Chinese texts. Written once here in UTF-8 and handed out as GBK bytes, the
// form in which every text of the core travels.
#include <string>

namespace yfx::text {

const std::string& ShopNick();         // "青禾小货郎": the seller of today's picks
const std::string& DeveloperCaption(); // "请与程序开发者联系": caption of the unreadable-answer report

} // namespace yfx::text
