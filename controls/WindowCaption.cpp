#include "controls/WindowCaption.h"

#include "platform/WinApi.h"

#include <QGuiApplication>
#include <QWidget>

#if QT_CONFIG(xcb) && defined(SKARVET_HAVE_XCB)
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace skarvet {

#if QT_CONFIG(xcb) && defined(SKARVET_HAVE_XCB)
namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

} // namespace
#endif

void ClearNativeCaption(QWidget& window) {
  if (!window.windowHandle()) return;
  // Windows: the window's own text is its title.
  Api().SetWindowTextA(reinterpret_cast<HWND>(window.winId()), "");
#if QT_CONFIG(xcb) && defined(SKARVET_HAVE_XCB)
  // Other window systems may answer for X11 without a connection to it.
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  const auto id = static_cast<xcb_window_t>(window.winId());
  // Both the title that window managers read first and the older one.
  const xcb_atom_t netName = Atom(connection, "_NET_WM_NAME");
  const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
  if (netName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE)
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netName, utf8, 8, 0, nullptr);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      0, nullptr);
  xcb_flush(connection);
#endif
}

} // namespace skarvet
