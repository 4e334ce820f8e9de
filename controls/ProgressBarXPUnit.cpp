#include "controls/ProgressBarXPUnit.h"

#include "controls/ColorMath.h"

#include <QColor>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace skarvet {
namespace {

QColor ToQColor(DWORD colour) {
  const DWORD rgb = ColorToRGB(colour);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

bool FitsInt(std::int64_t value) {
  return value >= INT_MIN && value <= INT_MAX;
}

// Fills the columns left..right-1 of the rows top..bottom-1, clipped to what
// an int coordinate can address (nothing beyond that is on any device).
void FillBox(QPainter& canvas, std::int64_t left, std::int64_t top, std::int64_t right,
             std::int64_t bottom, const QColor& colour) {
  left = std::max<std::int64_t>(left, INT_MIN);
  top = std::max<std::int64_t>(top, INT_MIN);
  right = std::min<std::int64_t>(right, std::int64_t{INT_MAX} + 1);
  bottom = std::min<std::int64_t>(bottom, std::int64_t{INT_MAX} + 1);
  if (right <= left || bottom <= top) return;
  // QRect holds its size in ints; a box wider than that is beyond any device.
  const std::int64_t width = std::min<std::int64_t>(right - left, INT_MAX);
  const std::int64_t height = std::min<std::int64_t>(bottom - top, INT_MAX);
  canvas.fillRect(QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                        static_cast<int>(height)),
                  colour);
}

} // namespace

TProgressBarXP::TProgressBarXP(QWidget* parent) : QWidget(parent) {
  // Qt paints every widget into the window's off-screen backing store and
  // copies the finished frame to the screen in one step, which is what keeps
  // the frequent repaints free of flicker; no buffer of our own is needed.
  // paintEvent covers the whole client area, so the widget's own background
  // never shows and Qt need not erase it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
}

void TProgressBarXP::SetMaxPosition(int value) {
  FMaxPosition = value;
  UpdateBar();
}

void TProgressBarXP::SetMinPosition(int value) {
  FMinPosition = value;
  UpdateBar();
}

void TProgressBarXP::SetPosition(int value) {
  FPosition = value;
  UpdateBar();
}

void TProgressBarXP::UpdateBar() {
  ClampBarPositions(FMinPosition, FMaxPosition, FPosition);
  FPercent = BarPercent(FMinPosition, FMaxPosition, FPosition);
  // Drawn before returning, not queued for the next idle paint. repaint()
  // draws nothing while the widget is hidden (or not yet shown).
  repaint();
}

void TProgressBarXP::paintEvent(QPaintEvent* /*event*/) {
  QPainter canvas(this);
  DrawBar(canvas, 0, 0, width(), height(), static_cast<short>(FPercent));
}

void DrawBar(QPainter& canvas, int L, int T, int R, int B, short percent) {
  canvas.setRenderHint(QPainter::Antialiasing, false);

  // The frame: a one-pixel outline on columns L and R-1 and rows T and B-1,
  // the inside in the highlight colour. Filled rather than stroked so that
  // the pixels are exact whatever the pen rules of the device.
  const std::int64_t left = std::min(L, R), right = std::max(L, R);
  const std::int64_t top = std::min(T, B), bottom = std::max(T, B);
  FillBox(canvas, left, top, right, bottom, ToQColor(clBtnShadow));
  FillBox(canvas, left + 1, top + 1, right - 1, bottom - 1, ToQColor(clBtnHighlight));

  const BarLayout layout = LayoutBar(L, T, R, B, percent);
  // Blocks too small to colour a pixel (heights below 7) are not drawn at
  // all, which is what drawing them would show.
  if (!BarBlocksVisible(layout)) return;
  for (std::int64_t k = 0; k < layout.count; ++k) {
    const Rect64 block = BarBlockRect(layout, L, T, k);
    if (block.left > INT_MAX) break; // every further block lies further right
    if (!FitsInt(block.left) || !FitsInt(block.right) || !FitsInt(block.top) ||
        !FitsInt(block.bottom))
      continue;
    DrawBlock(canvas, static_cast<int>(block.left), static_cast<int>(block.top),
              static_cast<int>(block.right), static_cast<int>(block.bottom));
  }
}

void DrawBlock(QPainter& canvas, int l, int t, int r, int b) {
  const BlockShading shading(t, b, ColorToRGB(clGradientActiveCaption));
  const PixelSpan span = LineSpan(l, r);
  shading.ForEachRow([&](std::int64_t y, DWORD colour) {
    FillBox(canvas, span.first, y, span.first + span.count, y + 1, ToQColor(colour));
  });
}

} // namespace skarvet
