// TImage: a picture drawn unscaled at the top-left of its area, optionally
// with its background colour (the colour of its lower-left pixel) left
// unpainted, and a click event.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

class QMouseEvent;
class QPaintEvent;

namespace skarvet {

class TImage : public QWidget {
  Q_OBJECT
  Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

public:
  explicit TImage(QWidget* parent = nullptr);

  // The picture as loaded; a null image shows nothing.
  const QImage& Picture() const { return FPicture; }
  void SetPicture(const QImage& picture);

  // When set, every pixel of the lower-left pixel's colour is left out.
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);

  // What the widget paints: the picture with the transparent colour made
  // fully transparent when Transparent is set.
  const QImage& ShownPicture() const { return FShown; }

  QSize sizeHint() const override;

  // Whether anything listens to clicks: a picture that does something.
  bool IsClickable() const;

signals:
  // The left button was pressed and released over the picture.
  void clicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  void Rebuild();

  QImage FPicture;
  QImage FShown;
  bool FTransparent = false;
  bool FPressed = false;
};

} // namespace skarvet
