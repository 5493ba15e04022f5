#pragma once
// Showing an address in the user's default browser. Only http and https addresses are ever
// opened: an answer from a server must not be able to open a local file or start a program.
#include <QString>
#include <functional>

namespace yfx {

// Opens `url` in the default browser (QDesktopServices) when it is a web address; returns
// whether it was handed on. GUI thread only.
bool OpenUrl(const QString& url);

// Replaces the way addresses are opened (tests capture them); an empty function restores the
// default browser.
void SetUrlOpener(std::function<void(const QString&)> opener);

} // namespace yfx
