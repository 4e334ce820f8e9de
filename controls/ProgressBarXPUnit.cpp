#include "controls/ProgressBarXPUnit.h"

#include "controls/ColorMath.h"
#include "controls/SystemColor.h"

#include <QAccessible>
#include <QColor>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace skarvet {
namespace {

// A colour of the bar, which may name a system colour.
QColor BarColor(DWORD colour) {
  return ToQColor(ColorToRGB(colour));
}

// The part of the painter's coordinate space that can reach its device:
// the device's area mapped back through the world transform, narrowed by the
// clip. Drawing is limited to it, so that a rectangle of any size (up to the
// whole int range) costs no more than its visible pixels.
struct Area {
  std::int64_t left = 0, top = 0, right = 0, bottom = 0; // right, bottom exclusive
};

Area VisibleArea(const QPainter& canvas) {
  const QPaintDevice* device = canvas.device();
  if (!device) return {};
  bool invertible = false;
  const QTransform toLogical = canvas.worldTransform().inverted(&invertible);
  if (!invertible) return {};
  QRectF logical = toLogical.mapRect(QRectF(0, 0, device->width(), device->height()));
  if (canvas.hasClipping()) logical &= canvas.clipBoundingRect();
  const QRect aligned = logical.toAlignedRect();
  return {aligned.left(), aligned.top(), std::int64_t{aligned.right()} + 1,
          std::int64_t{aligned.bottom()} + 1};
}

// Fills the columns left..right-1 of the rows top..bottom-1 within `area`.
void FillBox(QPainter& canvas, const Area& area, std::int64_t left, std::int64_t top,
             std::int64_t right, std::int64_t bottom, const QColor& colour) {
  left = std::max(left, area.left);
  top = std::max(top, area.top);
  right = std::min(right, area.right);
  bottom = std::min(bottom, area.bottom);
  if (right <= left || bottom <= top) return;
  canvas.fillRect(QRect(static_cast<int>(left), static_cast<int>(top),
                        static_cast<int>(right - left), static_cast<int>(bottom - top)),
                  colour);
}

// DrawBlock for a visible area already known (once per bar, not per block).
void DrawBlockWithin(QPainter& canvas, const Area& area, int l, int t, int r, int b) {
  const BlockShading shading(t, b, ColorToRGB(clGradientActiveCaption));
  const PixelSpan span = LineSpan(l, r);
  shading.ForEachRow(
      [&](std::int64_t y, DWORD colour) {
        FillBox(canvas, area, span.first, y, span.first + span.count, y + 1, BarColor(colour));
      },
      area.top, area.bottom - 1);
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
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent changed(this, FPosition);
    QAccessible::updateAccessibility(&changed);
  }
  // Drawn before returning, not queued for the next idle paint. repaint()
  // draws nothing while the widget is hidden (or not yet shown).
  repaint();
}

void TProgressBarXP::paintEvent(QPaintEvent* /*event*/) {
  QPainter canvas(this);
  const qreal scale = devicePixelRatioF();
  if (qFuzzyCompare(scale, 1.0)) {
    DrawBar(canvas, 0, 0, width(), height(), static_cast<short>(FPercent));
    return;
  }
  // On a scaled display the bar is laid out in the display's own pixels: a
  // one-pixel frame and blocks sized for the bar's height in those pixels,
  // so that every edge falls on a pixel's edge whatever the scale.
  canvas.scale(1 / scale, 1 / scale);
  DrawBar(canvas, 0, 0, qRound(width() * scale), qRound(height() * scale),
          static_cast<short>(FPercent));
}

void DrawBar(QPainter& canvas, int L, int T, int R, int B, short percent) {
  canvas.setRenderHint(QPainter::Antialiasing, false);
  const Area area = VisibleArea(canvas);

  // The frame: a one-pixel outline on columns L and R-1 and rows T and B-1,
  // the inside in the highlight colour. Filled rather than stroked so that
  // the pixels are exact whatever the pen rules of the device.
  const std::int64_t left = std::min(L, R), right = std::max(L, R);
  const std::int64_t top = std::min(T, B), bottom = std::max(T, B);
  FillBox(canvas, area, left, top, right, bottom, BarColor(clBtnShadow));
  FillBox(canvas, area, left + 1, top + 1, right - 1, bottom - 1, BarColor(clBtnHighlight));

  const BarLayout layout = LayoutBar(L, T, R, B, percent);
  // Blocks too small to colour a pixel (heights 3 to 5) are not drawn at
  // all, which is what drawing them would show.
  if (!BarBlocksVisible(layout)) return;
  const BlockRange blocks = BlocksInColumns(layout, L, area.left, area.right - 1);
  for (std::int64_t k = blocks.first; k <= blocks.last; ++k) {
    const Rect64 block = BarBlockRect(layout, L, T, k);
    // Blocks are laid from L rightwards; one that an int cannot describe
    // lies beyond every device.
    if (block.right > INT_MAX || block.bottom < INT_MIN) break;
    DrawBlockWithin(canvas, area, static_cast<int>(block.left), static_cast<int>(block.top),
                    static_cast<int>(block.right), static_cast<int>(block.bottom));
  }
}

void DrawBlock(QPainter& canvas, int l, int t, int r, int b) {
  DrawBlockWithin(canvas, VisibleArea(canvas), l, t, r, b);
}

} // namespace skarvet
