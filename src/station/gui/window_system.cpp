// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/gui/window_system.h"

#include <QCoreApplication>
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


KeyboardFocusWatch::KeyboardFocusWatch(quintptr id, std::function<void()> lost) : m_id(id), m_lost(std::move(lost))
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
}

KeyboardFocusWatch::~KeyboardFocusWatch()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool KeyboardFocusWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#if QT_CONFIG(xcb)
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_FOCUS_OUT)
        return false;
    const auto* out = reinterpret_cast<const xcb_focus_out_event_t*>(event);
    // Focus that stays with the window (under the pointer, or in a window inside it) is not lost.
    if (out->event == m_id && out->detail != XCB_NOTIFY_DETAIL_POINTER && out->detail != XCB_NOTIFY_DETAIL_INFERIOR)
        m_lost();
#else
    (void)eventType;
    (void)message;
#endif
    return false;
}
