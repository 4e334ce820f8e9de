// Windows whose caption is empty. Qt hands the window system the
// application's name in place of an empty title; a dialog designed without
// a caption clears it again on the window it has been given: through the
// system's call for a window's text, and on X11 on the X connection.
#pragma once

class QWidget;

namespace skarvet {

// Leaves the title of `window`'s native window empty, as the window system
// sees it. Call once the native window exists (from showEvent, say); does
// nothing for a window system that keeps no title, such as offscreen.
void ClearNativeCaption(QWidget& window);

} // namespace skarvet
