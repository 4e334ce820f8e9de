// Colour arithmetic and the geometry of the XP progress bar, free of any
// window toolkit so that it builds (and is tested) everywhere.
//
// Colours are COLORREF values, 0x00BBGGRR. A system colour is denoted the
// way the window toolkit does it: 0x80000000 | index, where index is the
// COLOR_* number; ColorToRGB resolves it through Api().GetSysColor at the
// moment it is called, so nothing is cached.
#pragma once

#include "platform/Win32Types.h"

#include <cstdint>

namespace skarvet {

// --- colours ------------------------------------------------------------------

inline constexpr DWORD kSysColorFlag = 0x80000000u;

// The reference to system colour `index` (COLOR_*).
constexpr DWORD SysColorRef(int index) {
  return kSysColorFlag | (static_cast<DWORD>(index) & 0xFFu);
}
constexpr bool IsSysColorRef(DWORD colour) {
  return (colour & 0xFF000000u) == kSysColorFlag;
}

inline constexpr DWORD clBtnShadow = SysColorRef(COLOR_BTNSHADOW);
inline constexpr DWORD clBtnHighlight = SysColorRef(COLOR_BTNHIGHLIGHT);
inline constexpr DWORD clGradientActiveCaption = SysColorRef(COLOR_GRADIENTACTIVECAPTION);

// Plain RGB of `colour`: a system colour reference is looked up now with
// Api().GetSysColor; any other value is returned as it is.
DWORD ColorToRGB(DWORD colour);

// Adds `step` to red, green and blue, all or nothing: when any channel would
// reach 255 (or, for a negative step, drop below 0) the colour comes back
// unchanged. A system colour reference is resolved first; an unchanged
// result is the colour as passed in.
DWORD LightenColor(DWORD colour, short step);
// Subtracts `step` from all three channels, all or nothing: when any channel
// would reach 0 (or, for a negative step, pass 255) the colour comes back
// unchanged.
DWORD DarkenColor(DWORD colour, short step);

// --- positions ------------------------------------------------------------------

// Brings the three positions of a bar into order after a write, in this
// order: a lower end above the upper end raises the upper end (and the
// position) to it; then the position is held to the upper end, then to the
// lower end.
void ClampBarPositions(int& minPosition, int& maxPosition, int& position);

// The filled share in whole percent, rounded half to even, of positions that
// ClampBarPositions has put in order; 0 for an empty span. Offset and span are
// taken in 64 bits, so the full int range works without overflow.
int BarPercent(int minPosition, int maxPosition, int position);

// --- bar geometry ---------------------------------------------------------------

// A rectangle in the Windows sense: right and bottom exclusive. 64-bit so that
// any int rectangle and any block of it can be described without overflow.
struct Rect64 {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t right = 0;
  std::int64_t bottom = 0;
};

// What DrawBar lays out in the rectangle (L, T, R, B) for `percent`.
struct BarLayout {
  std::int64_t blockHeight = 0; // h = B - T - 2
  std::int64_t pitch = 0;       // w = ceiling(h * 0.64); 0 or less: no blocks
  std::int64_t fullCount = 0;   // blocks of a full bar: round((R - L - 4) / w)
  std::int64_t count = 0;       // blocks drawn for `percent`
};
BarLayout LayoutBar(int L, int T, int R, int B, short percent);

// The rectangle handed to DrawBlock for block k (0-based) of a bar laid out
// in (L, T, ...).
Rect64 BarBlockRect(const BarLayout& layout, int L, int T, std::int64_t k);

// The columns a Windows horizontal line from x0 to x1 colours (the end point
// excluded, in either direction): first..first+count-1, count 0 for none.
struct PixelSpan {
  std::int64_t first = 0;
  std::int64_t count = 0;
};
PixelSpan LineSpan(std::int64_t x0, std::int64_t x1);

// The shading of one block with rectangle (l, t, r, b) and base colour G:
//  - upper ramp: rows t+1 .. t+u, from DarkenColor(G, 35) lightening by s per
//    row;
//  - lower ramp: rows t+u .. t+hb+1, from LightenColor(G, 25) darkening by s
//    per row, drawn after the upper ramp so that it owns the shared row t+u;
// with hb = b - t, s = round(150 / hb), u = round(hb / 2) (both 0 when hb is
// not positive; no lower ramp when hb + 1 - u is negative). ForEachRow visits
// every coloured row once, top to bottom, with the colour that ends up there.
class BlockShading {
public:
  BlockShading(std::int64_t t, std::int64_t b, DWORD gradient);

  std::int64_t Height() const { return hb_; }
  short Step() const { return step_; }
  std::int64_t UpperRows() const { return upper_; }
  // How many rows ForEachRow visits.
  std::int64_t RowCount() const;

  // Visits the rows from yFirst to yLast only (a painter's visible area);
  // the colours above yFirst are still stepped through, but a ramp that has
  // stopped changing is skipped over at once, so a tall block costs no more
  // than its visible rows.
  template <typename Visit>
  void ForEachRow(Visit&& visit, std::int64_t yFirst = INT64_MIN,
                  std::int64_t yLast = INT64_MAX) const {
    // Upper ramp; when there is a lower ramp it repaints row t+u, so the
    // upper ramp's own colour never shows there.
    const bool lower = hb_ + 1 - upper_ >= 0;
    const std::int64_t upperEnd = lower ? upper_ - 1 : upper_;
    Ramp(t_ + 1, t_ + upperEnd, DarkenColor(gradient_, 35), false, yFirst, yLast, visit);
    if (lower)
      Ramp(t_ + upper_, t_ + hb_ + 1, LightenColor(gradient_, 25), true, yFirst, yLast, visit);
  }

private:
  std::int64_t t_;
  std::int64_t hb_;
  std::int64_t upper_;
  template <typename Visit>
  void Ramp(std::int64_t from, std::int64_t to, DWORD c, bool darkening, std::int64_t yFirst,
            std::int64_t yLast, Visit& visit) const {
    if (to > yLast) to = yLast;
    for (std::int64_t y = from; y <= to; ++y) {
      if (y >= yFirst) visit(y, c);
      const DWORD next = darkening ? DarkenColor(c, step_) : LightenColor(c, step_);
      if (next == c && y + 1 < yFirst) y = yFirst - 1; // settled: jump to the visible rows
      c = next;
    }
  }

  short step_;
  DWORD gradient_;
};

// Whether the blocks of a layout colour any pixel at all: at heights 3 to 5
// they have zero width or no rows and leave the frame and background as they
// are (at heights 1 and 2 there are none).
bool BarBlocksVisible(const BarLayout& layout);

// The blocks k (0 .. count-1) of a bar at left edge L that can colour a
// column between xFirst and xLast; empty when first > last.
struct BlockRange {
  std::int64_t first = 0;
  std::int64_t last = -1;
};
BlockRange BlocksInColumns(const BarLayout& layout, int L, std::int64_t xFirst, std::int64_t xLast);

} // namespace skarvet
