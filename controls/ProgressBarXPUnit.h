// TProgressBarXP: a self-drawn "busy" bar, a one-pixel frame holding a row of
// separate blocks, each shaded from the system's caption-gradient colour.
//
// Every pixel comes from paintEvent; the geometry and the colour ramps are
// worked out by the Qt-free routines of controls/ColorMath.h and recomputed
// on every paint, so a change of the system colours or of the size shows on
// the next repaint.
#pragma once

#include <QWidget>

class QPainter;
class QPaintEvent;

namespace skarvet {

class TProgressBarXP : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int MaxPosition READ MaxPosition WRITE SetMaxPosition)
  Q_PROPERTY(int MinPosition READ MinPosition WRITE SetMinPosition)
  Q_PROPERTY(int Position READ Position WRITE SetPosition)

public:
  explicit TProgressBarXP(QWidget* parent = nullptr);

  int MaxPosition() const { return FMaxPosition; }
  int MinPosition() const { return FMinPosition; }
  int Position() const { return FPosition; }
  // The filled share in whole percent, 0 to 100, derived from the three
  // positions after every write.
  int Percent() const { return FPercent; }

  // Each write stores the value (also when it equals the old one), brings
  // the positions back into order and repaints before returning.
  void SetMaxPosition(int value);
  void SetMinPosition(int value);
  void SetPosition(int value);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void UpdateBar();

  int FMaxPosition = 100;
  int FMinPosition = 0;
  int FPosition = 0;
  int FPercent = 0;
};

// Draws the whole bar into the rectangle (L, T, R, B), right and bottom
// exclusive: frame, background and the blocks for `percent`.
void DrawBar(QPainter& canvas, int L, int T, int R, int B, short percent);
// Draws one block into (l, t, r, b) with the two colour ramps.
void DrawBlock(QPainter& canvas, int l, int t, int r, int b);

} // namespace skarvet
