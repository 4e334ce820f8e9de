// The few classic Windows behaviours the program's windows keep whatever
// the toolkit's style:
// - a masked edit shows every character as "*";
// - a pick-only drop-down list drops a list below itself (showing its
//   configured number of entries and scrolling for the rest), not a menu;
// - bold text in a font that has no bold face (the bitmap "MS Sans Serif")
//   is emboldened the way the Windows text renderer does it: each glyph is
//   drawn twice, one pixel apart, and advances one pixel further (the font
//   gets one pixel of letter spacing, see ApplySyntheticBold), with one
//   pixel of overhang at the end of the text. On Windows the system's
//   renderer does this itself, so the style leaves it to the system there.
//   A scalable face without a bold one (the design font's stand-in on a
//   scaled display) is emboldened by the text renderer at its own size and
//   only gets the wider advance.
#pragma once

#include <QProxyStyle>
#include <QStyledItemDelegate>

class QWidget;

namespace skarvet {

class TClassicStyle : public QProxyStyle {
  Q_OBJECT

public:
  // Wraps a fresh instance of the application's style.
  TClassicStyle();

  // Gives every named control of `window` one instance of the style, which
  // the window owns.
  static void InstallOn(QWidget& window);

  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;

  void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette,
                    bool enabled, const QString& text,
                    QPalette::ColorRole textRole = QPalette::NoRole) const override;

  // Whether `font` asks for bold in a family that has no bold face.
  static bool NeedsSyntheticBold(const QFont& font);

  // Whether such a bold advances one pixel further per character: off
  // Windows, whose renderer widens it itself.
  static bool WidensSyntheticBold(const QFont& font);

  // Whether the program must draw that bold itself: the font needs it, it
  // is a bitmap font and the text renderer does not do it. The Windows
  // platform's renderer emboldens such a font itself, exactly this way;
  // drawing it again there would make the text twice as heavy.
  static bool DrawsSyntheticBold(const QFont& font);

  // Gives a widget whose font needs synthetic bold the extra advance per
  // character (a pixel for a bitmap font, half a pixel for a scalable face
  // that the renderer emboldens); a line edit, which draws its text without
  // the style, also gets its text drawn the second time where the program
  // draws the bold. Returns whether it did.
  static bool ApplySyntheticBold(QWidget* widget);

  // The same for a widget whose font may have changed since: gives it the
  // extra pixel when its font needs it, takes it back when it no longer
  // does (a scalable face with a bold of its own). Returns whether its font
  // changed.
  static bool FitSyntheticBold(QWidget* widget);
};

// Entries of a drop-down list drawn at a fixed height (the classic lists use
// the font's height, 13 pixels for the design font).
class TFixedHeightItemDelegate : public QStyledItemDelegate {
  Q_OBJECT

public:
  TFixedHeightItemDelegate(int itemHeight, QObject* parent = nullptr);

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
  int FItemHeight;
};

} // namespace skarvet
