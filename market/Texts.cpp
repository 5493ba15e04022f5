#include "market/Texts.h"

#include "market/Gbk.h"

namespace yfx::text {

const std::string& ShopNick()
{
    static const std::string s = Utf8ToGbk("青禾小货郎");
    return s;
}

const std::string& DeveloperCaption()
{
    static const std::string s = Utf8ToGbk("请与程序开发者联系");
    return s;
}

const std::string& PlatformRefused()
{
    static const std::string s = Utf8ToGbk("开放平台拒绝了请求：");
    return s;
}

const std::string& PlatformUnreadable()
{
    static const std::string s = Utf8ToGbk("开放平台的回答无法读取");
    return s;
}

} // namespace yfx::text
