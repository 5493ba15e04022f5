#include "app/KeyIndicators.h"

#include <QGuiApplication>

#if __has_include(<X11/XKBlib.h>)
#include <X11/XKBlib.h>
#define YFX_HAVE_XKB 1
#endif

namespace yfx {

LockKeys QueryLockKeys()
{
    LockKeys keys;
#ifdef YFX_HAVE_XKB
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return keys;
    unsigned int state = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &state) != Success)
        return keys;
    keys.known = true;
    keys.caps = state & 1u;
    keys.num = state & 2u;
    keys.scroll = state & 4u;
#endif
    return keys;
}

} // namespace yfx
