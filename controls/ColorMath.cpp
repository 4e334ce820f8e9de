#include "controls/ColorMath.h"

#include "platform/WinApi.h"
#include "platform/text/TextHelpers.h"

#include <algorithm>

namespace skarvet {

DWORD ColorToRGB(DWORD colour) {
  if (IsSysColorRef(colour)) return Api().GetSysColor(static_cast<int>(colour & 0xFFu));
  return colour;
}

namespace {
bool InChannelRange(int value) {
  return value >= 0 && value <= 255;
}
} // namespace

DWORD LightenColor(DWORD colour, short step) {
  const DWORD rgb = ColorToRGB(colour);
  const int r = GetRValue(rgb) + step;
  const int g = GetGValue(rgb) + step;
  const int b = GetBValue(rgb) + step;
  // All or nothing: one channel at the top holds all three, which keeps the
  // hue of the ramp. The lower bound only matters for a negative step.
  if (r < 255 && g < 255 && b < 255 && InChannelRange(r) && InChannelRange(g) && InChannelRange(b))
    return RGB(static_cast<BYTE>(r), static_cast<BYTE>(g), static_cast<BYTE>(b));
  return colour;
}

DWORD DarkenColor(DWORD colour, short step) {
  const DWORD rgb = ColorToRGB(colour);
  const int r = GetRValue(rgb) - step;
  const int g = GetGValue(rgb) - step;
  const int b = GetBValue(rgb) - step;
  if (r > 0 && g > 0 && b > 0 && InChannelRange(r) && InChannelRange(g) && InChannelRange(b))
    return RGB(static_cast<BYTE>(r), static_cast<BYTE>(g), static_cast<BYTE>(b));
  return colour;
}

void ClampBarPositions(int& minPosition, int& maxPosition, int& position) {
  if (minPosition > maxPosition) {
    maxPosition = minPosition;
    position = minPosition;
  }
  if (position > maxPosition) position = maxPosition;
  if (position < minPosition) position = minPosition;
}

int BarPercent(int minPosition, int maxPosition, int position) {
  const std::int64_t offset = static_cast<std::int64_t>(position) - minPosition;
  const std::int64_t span = static_cast<std::int64_t>(maxPosition) - minPosition;
  if (offset <= 0 || span <= 0) return 0;
  // offset * 100 is exact in a double (below 2^39) and the quotient is
  // correctly rounded, so an exact half of the true value stays an exact half
  // and nothing else can become one: the rounding is that of the true ratio.
  return static_cast<int>(
      RoundHalfEven(static_cast<double>(offset * 100) / static_cast<double>(span)));
}

BarLayout LayoutBar(int L, int T, int R, int B, short percent) {
  BarLayout layout;
  layout.blockHeight = static_cast<std::int64_t>(B) - T - 2;
  // ceiling(h * 0.64) in integers: 0.64 has no exact binary form, and a
  // product like 25 * 0.64 would otherwise land just above 16.
  const std::int64_t h = layout.blockHeight;
  layout.pitch = h > 0 ? (h * 64 + 99) / 100 : 0;
  // At heights 1 and 2 the pitch is 0: no blocks at all rather than a
  // division by zero.
  const std::int64_t innerWidth = static_cast<std::int64_t>(R) - L - 4;
  if (innerWidth > 0 && layout.pitch > 0)
    layout.fullCount = RoundHalfEven(static_cast<double>(innerWidth) / layout.pitch);
  if (percent > 0)
    layout.count = RoundHalfEven(static_cast<double>(layout.fullCount * percent) / 100.0);
  if (layout.count < 0) layout.count = 0;
  return layout;
}

Rect64 BarBlockRect(const BarLayout& layout, int L, int T, std::int64_t k) {
  Rect64 rect;
  rect.left = L + k * layout.pitch + 2;
  rect.top = static_cast<std::int64_t>(T) + 1;
  rect.right = L + (k + 1) * layout.pitch;
  rect.bottom = T + layout.blockHeight - 2;
  return rect;
}

PixelSpan LineSpan(std::int64_t x0, std::int64_t x1) {
  if (x1 > x0) return {x0, x1 - x0};
  if (x1 < x0) return {x1 + 1, x0 - x1};
  return {x0, 0};
}

BlockShading::BlockShading(std::int64_t t, std::int64_t b, DWORD gradient)
    : t_(t), hb_(b - t), upper_(0), step_(0), gradient_(gradient) {
  if (hb_ > 0) {
    step_ = static_cast<short>(RoundHalfEven(150.0 / static_cast<double>(hb_)));
    upper_ = RoundHalfEven(static_cast<double>(hb_) / 2.0);
  }
}

std::int64_t BlockShading::RowCount() const {
  const bool lower = hb_ + 1 - upper_ >= 0;
  if (!lower) return upper_;
  return (upper_ > 0 ? upper_ - 1 : 0) + (hb_ + 2 - upper_);
}

bool BarBlocksVisible(const BarLayout& layout) {
  if (layout.count <= 0) return false;
  const Rect64 first = BarBlockRect(layout, 0, 0, 0);
  if (LineSpan(first.left, first.right).count <= 0) return false;
  return BlockShading(first.top, first.bottom, 0).RowCount() > 0;
}

namespace {
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
} // namespace

BlockRange BlocksInColumns(const BarLayout& layout, int L, std::int64_t xFirst,
                           std::int64_t xLast) {
  BlockRange range;
  if (layout.count <= 0 || layout.pitch <= 0 || xFirst > xLast) return range;
  // Block k spans the columns L + k*w + 2 .. L + (k+1)*w - 1 (or the single
  // column of a one-pixel-narrower block); one block of slack on each side
  // covers every rounding case.
  const std::int64_t w = layout.pitch;
  range.first = std::max<std::int64_t>(0, FloorDiv(xFirst - L, w) - 1);
  range.last = std::min<std::int64_t>(layout.count - 1, FloorDiv(xLast - L, w) + 1);
  return range;
}

} // namespace skarvet
