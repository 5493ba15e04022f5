#include "results/OpenPlatformSettings.h"

#include <QSettings>

#include <arpa/inet.h>

namespace yfx {

std::string CanonicalIp(const QString& typed)
{
    const std::string text = typed.trimmed().toStdString();
    unsigned char bytes[16];
    char canonical[INET6_ADDRSTRLEN];
    for (const int family : {AF_INET, AF_INET6}) {
        if (!text.empty() && inet_pton(family, text.c_str(), bytes) == 1 &&
            inet_ntop(family, bytes, canonical, sizeof canonical) != nullptr)
            return canonical;
    }
    return {};
}

std::string BuyerIpSetting()
{
    return CanonicalIp(QSettings().value(kBuyerIpKey).toString());
}

bool SetBuyerIpSetting(const QString& text)
{
    QSettings settings;
    if (text.trimmed().isEmpty()) {
        settings.remove(kBuyerIpKey);
        return true;
    }
    const std::string ip = CanonicalIp(text);
    if (ip.empty())
        return false;
    settings.setValue(kBuyerIpKey, QString::fromStdString(ip));
    return true;
}

} // namespace yfx
