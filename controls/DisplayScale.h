// The windows at any display scale. They are laid out for "MS Sans Serif"
// at 11 pixels on a 96 dpi screen, a bitmap font whose glyphs exist at that
// one size: on a scaled display (a device pixel ratio other than 1) its
// glyphs would stay at their 100 % size while the layout grows, so the text
// is set there in a scalable face with the design font's widths and a real
// bold face instead. At 100 % nothing changes.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace skarvet {

// The design font's family as the windows ask for it.
inline const char* const kDesignFontFamily = "MS Sans Serif";

// The family to ask for in place of the design font at `devicePixelRatio`:
// the design font itself at 1 (and on Windows, whose font mapper picks a
// scalable face of its own at other scales), otherwise its scalable
// stand-in: Tahoma (Debian's fonts-wine), whose widths come within a few
// per cent of the design font's, bold included; failing that Arial's
// metrics.
QString DesignFontFamily(qreal devicePixelRatio);

// Puts every widget of `window` whose text is in the design font or one of
// its stand-ins into the family right for the window's device pixel ratio,
// and emboldens bold text as that family needs (see TClassicStyle). Returns
// whether any font changed.
bool FitDesignFontToScale(QWidget& window);

// Refits the design font whenever `window` moves to a screen of another
// scale, then calls `relayout` (for labels that size themselves to their
// text) when a font changed.
void FollowDisplayScale(QWidget& window, std::function<void()> relayout = {});

} // namespace skarvet
