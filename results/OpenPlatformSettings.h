#pragma once
// What the user's own settings (QSettings) add to open-platform requests. GUI thread.
#include <QString>

#include <string>

namespace yfx {

// The settings key of the buyer's address sent as "ip" with open-platform requests (the
// platform's postage is exact only with it). Set by the user only: the program never guesses
// or looks up an address.
inline const QString kBuyerIpKey = QStringLiteral("openPlatform/ip");

// `text` as an IPv4 or IPv6 address (surrounding spaces allowed) in its canonical form; ""
// when it is not one.
std::string CanonicalIp(const QString& text);

// The address under kBuyerIpKey when it is an IPv4 or IPv6 address, in its canonical form;
// "" when unset or not an address.
std::string BuyerIpSetting();
// Saves `text` under kBuyerIpKey (an empty text removes the setting); false, and nothing
// saved, when it is neither empty nor an address.
bool SetBuyerIpSetting(const QString& text);

} // namespace yfx
