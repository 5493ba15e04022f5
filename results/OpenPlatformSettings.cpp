#include "results/OpenPlatformSettings.h"

#include <QSettings>

#include <arpa/inet.h>

namespace yfx {

std::string BuyerIpSetting()
{
    const std::string text = QSettings().value(kBuyerIpKey).toString().trimmed().toStdString();
    unsigned char bytes[16];
    char canonical[INET6_ADDRSTRLEN];
    for (const int family : {AF_INET, AF_INET6}) {
        if (!text.empty() && inet_pton(family, text.c_str(), bytes) == 1 &&
            inet_ntop(family, bytes, canonical, sizeof canonical) != nullptr)
            return canonical;
    }
    return {};
}

} // namespace yfx
