#include "controls/ClassicStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <QTextLayout>
#include <QWidget>

namespace skarvet {

TClassicStyle::TClassicStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

void TClassicStyle::InstallOn(QWidget& window) {
  auto* style = new TClassicStyle;
  style->setParent(&window);
  for (QWidget* control : window.findChildren<QWidget*>())
    if (!control->objectName().isEmpty()) control->setStyle(style);
}

int TClassicStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                             QStyleHintReturn* returnData) const {
  switch (hint) {
  case SH_LineEdit_PasswordCharacter:
    return u'*';
  case SH_LineEdit_PasswordMaskDelay:
    return 0; // never show the last typed character
  case SH_ComboBox_Popup:
    return 0;
  default:
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
}

void TClassicStyle::drawItemText(QPainter* painter, const QRect& rect, int flags,
                                 const QPalette& palette, bool enabled, const QString& text,
                                 QPalette::ColorRole textRole) const {
  QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
  if (DrawsSyntheticBold(painter->font())) {
    QProxyStyle::drawItemText(painter, rect.translated(1, 0), flags, palette, enabled, text,
                              textRole);
  }
}

namespace {

struct FamilyFaces {
  bool bold = false;     // has a bold face of its own
  bool scalable = false; // outlines, not bitmaps
};

// Per family: the font database is fixed once the fonts are registered.
FamilyFaces FacesOf(const QFont& font) {
  static QHash<QString, FamilyFaces> known;
  const QString family = QFontInfo(font).family();
  auto found = known.constFind(family);
  if (found == known.constEnd()) {
    FamilyFaces faces;
    for (const QString& style : QFontDatabase::styles(family))
      faces.bold = faces.bold || QFontDatabase::weight(family, style) >= QFont::DemiBold;
    faces.scalable = QFontDatabase::isSmoothlyScalable(family);
    found = known.insert(family, faces);
  }
  return found.value();
}

} // namespace

bool TClassicStyle::NeedsSyntheticBold(const QFont& font) {
  if (font.weight() < QFont::DemiBold) return false;
  return !FacesOf(font).bold;
}

bool TClassicStyle::WidensSyntheticBold(const QFont& font) {
  static const bool systemEmboldens = QGuiApplication::platformName() == QLatin1String("windows");
  return !systemEmboldens && NeedsSyntheticBold(font);
}

bool TClassicStyle::DrawsSyntheticBold(const QFont& font) {
  // A scalable face is emboldened by the text renderer itself, at the size
  // it is drawn; only a bitmap font needs its glyphs drawn a second time.
  return WidensSyntheticBold(font) && !FacesOf(font).scalable;
}

namespace {

// The contents rectangle of a line edit, where it clips its text.
QRect EditContents(const QLineEdit& edit) {
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.rect = edit.rect();
  option.lineWidth =
      edit.hasFrame() ? edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit) : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  if (edit.isReadOnly()) option.state |= QStyle::State_ReadOnly;
  option.features = QStyleOptionFrame::None;
  return edit.style()
      ->subElementRect(QStyle::SE_LineEditContents, &option, &edit)
      .marginsRemoved(edit.textMargins());
}

// A line edit draws its text itself, not through the style: once it has
// painted, its text is drawn a second time, one pixel to the right, in the
// same colours (selected characters in the highlighted-text colour, with no
// second background under them) and with no second cursor.
class TEmboldenedEditText : public QObject {
public:
  explicit TEmboldenedEditText(QLineEdit* edit) : QObject(edit) {
    setObjectName(QStringLiteral("EmboldenedEditText"));
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint) return false;
    auto* edit = static_cast<QLineEdit*>(watched);
    edit->event(event);
    PaintAgain(*edit);
    return true;
  }

private:
  static void PaintAgain(QLineEdit& edit) {
    const QString text = edit.displayText();
    if (text.isEmpty() || !TClassicStyle::DrawsSyntheticBold(edit.font())) return;

    QTextLayout layout(text, edit.font(), &edit);
    QTextOption option = layout.textOption();
    option.setTextDirection(edit.layoutDirection());
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) return;

    // Where the edit put its text: its cursor rectangle starts five pixels
    // left of the cursor's place in the text and at the top of the line.
    const QRect cursor = edit.inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const double left = cursor.x() + 5 - qRound(line.cursorToX(edit.cursorPosition()));

    QList<QTextLayout::FormatRange> selections;
    if (edit.hasSelectedText()) {
      QTextLayout::FormatRange selected;
      selected.start = edit.selectionStart();
      selected.length = edit.selectionLength();
      selected.format.setForeground(edit.palette().brush(QPalette::HighlightedText));
      selections.append(selected);
    }
    QPainter painter(&edit);
    painter.setClipRect(EditContents(edit));
    painter.setPen(edit.palette().color(QPalette::Text));
    layout.draw(&painter, QPointF(left + 1, cursor.y()), selections);
  }
};

} // namespace

namespace {

// The extra advance per character of a synthetic bold: the one pixel of
// the second copy for a bitmap font; for a scalable face about what the
// renderer's emboldening adds to each glyph at the design size.
qreal BoldAdvance(const QFont& font) {
  if (!TClassicStyle::WidensSyntheticBold(font)) return 0;
  return TClassicStyle::DrawsSyntheticBold(font) ? 1.0 : 0.5;
}

bool HasLetterSpacing(const QFont& font, qreal spacing) {
  if (font.letterSpacingType() != QFont::AbsoluteSpacing) return spacing == 0;
  return qFuzzyCompare(font.letterSpacing() + 1, spacing + 1);
}

} // namespace

bool TClassicStyle::ApplySyntheticBold(QWidget* widget) {
  const qreal advance = BoldAdvance(widget->font());
  if (advance == 0) return false;
  QFont font = widget->font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, advance);
  widget->setFont(font);
  if (auto* edit = qobject_cast<QLineEdit*>(widget);
      edit && !edit->findChild<QObject*>(QStringLiteral("EmboldenedEditText"),
                                         Qt::FindDirectChildrenOnly)) {
    edit->installEventFilter(new TEmboldenedEditText(edit));
  }
  return true;
}

bool TClassicStyle::FitSyntheticBold(QWidget* widget) {
  QFont font = widget->font();
  const qreal advance = BoldAdvance(font);
  if (HasLetterSpacing(font, advance)) return false;
  if (advance != 0) return ApplySyntheticBold(widget);
  font.setLetterSpacing(QFont::PercentageSpacing, 100);
  widget->setFont(font);
  return true;
}

TFixedHeightItemDelegate::TFixedHeightItemDelegate(int itemHeight, QObject* parent)
    : QStyledItemDelegate(parent), FItemHeight(itemHeight) {}

QSize TFixedHeightItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(FItemHeight);
  return size;
}

} // namespace skarvet
