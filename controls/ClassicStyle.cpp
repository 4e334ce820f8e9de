#include "controls/ClassicStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QPainter>
#include <QStyleFactory>
#include <QWidget>

namespace skarvet {

TClassicStyle::TClassicStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

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
  if (NeedsSyntheticBold(painter->font())) {
    QProxyStyle::drawItemText(painter, rect.translated(1, 0), flags, palette, enabled, text,
                              textRole);
  }
}

bool TClassicStyle::NeedsSyntheticBold(const QFont& font) {
  if (font.weight() < QFont::DemiBold) return false;
  // Per family: the font database is fixed once the fonts are registered.
  static QHash<QString, bool> hasBoldFace;
  const QString family = QFontInfo(font).family();
  auto known = hasBoldFace.constFind(family);
  if (known == hasBoldFace.constEnd()) {
    bool bold = false;
    for (const QString& style : QFontDatabase::styles(family))
      bold = bold || QFontDatabase::weight(family, style) >= QFont::DemiBold;
    known = hasBoldFace.insert(family, bold);
  }
  return !known.value();
}

bool TClassicStyle::ApplySyntheticBold(QWidget* widget) {
  if (!NeedsSyntheticBold(widget->font())) return false;
  QFont font = widget->font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
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
