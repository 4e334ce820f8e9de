#include "controls/ClassicStyle.h"

namespace skarvet {

TClassicStyle::TClassicStyle() : QProxyStyle() {}

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

TFixedHeightItemDelegate::TFixedHeightItemDelegate(int itemHeight, QObject* parent)
    : QStyledItemDelegate(parent), FItemHeight(itemHeight) {}

QSize TFixedHeightItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(FItemHeight);
  return size;
}

} // namespace skarvet
