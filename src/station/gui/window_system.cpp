#include "station/gui/window_system.h"

#include <QGuiApplication>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
// The XKB header names a field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <cstdlib>
#endif

namespace {
#if QT_CONFIG(xcb)
xcb_connection_t* x11()
{
    auto* x = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x ? x->connection() : nullptr;
}
#endif
} // namespace

bool ask_for_whole_key_holds()
{
#if QT_CONFIG(xcb)
    xcb_connection_t* c = x11();
    if (!c)
        return true;   // not on X: the platform reports repeats as such
    // The toolkit has enabled XKB on its connection already; the flag is the client's own.
    const auto flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_xkb_per_client_flags_reply_t* reply = xcb_xkb_per_client_flags_reply(
        c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr);
    const bool granted = reply && (reply->value & flag);
    std::free(reply);
    return granted;
#else
    return true;
#endif
}

