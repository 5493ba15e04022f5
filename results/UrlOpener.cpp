#include "results/UrlOpener.h"

#include "market/ClickUrl.h"

#include <QDesktopServices>
#include <QUrl>

namespace yfx {
namespace {

std::function<void(const QString&)>& Opener()
{
    static std::function<void(const QString&)> opener;
    return opener;
}

} // namespace

bool OpenUrl(const QString& url)
{
    if (!IsWebAddress(url.toStdString()))
        return false;
    if (Opener())
        Opener()(url);
    else
        QDesktopServices::openUrl(QUrl(url));
    return true;
}

void SetUrlOpener(std::function<void(const QString&)> opener)
{
    Opener() = std::move(opener);
}

} // namespace yfx
