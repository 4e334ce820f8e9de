// TImage: a picture drawn unscaled at the top-left of its area, optionally
// with its background colour (the colour of its lower-left pixel) left
// unpainted, and a click event. On a scaled display it draws the picture's
// double-size artwork, when it has one, in the same place.
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
  // The same picture at twice the size, drawn in its place where the
  // display has more than one pixel for each of the picture's (a null
  // image: none).
  void SetDoubleSizePicture(const QImage& picture);

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
  QImage FDoubleSize;
  QImage FDoubleSizeShown;
  bool FTransparent = false;
  bool FPressed = false;
};

// A picture in a format Qt has built in (PNG, BMP), named by its suffix.
// Qt's own loading would first offer the file to every image format plugin
// to recognise, loading them all: more resident memory than the pictures.
QImage ReadBuiltInImage(const QString& path);

// The picture file at `path`, or, where `devicePixelRatio` is above 1 and it
// exists, its double-size artwork NAME@2x.EXT, marked as such so that it
// takes the place of the picture.
QPixmap LoadSharpPixmap(const QString& path, qreal devicePixelRatio);
// The path of a picture file's double-size artwork NAME@2x.EXT, or an empty
// text when it has none.
QString DoubleSizePath(const QString& path);

} // namespace skarvet
