// The few classic Windows behaviours the program's windows keep whatever
// the toolkit's style: a masked edit shows every character as "*", and a
// pick-only drop-down list drops a list below itself (showing its configured
// number of entries and scrolling for the rest) instead of a menu.
#pragma once

#include <QProxyStyle>
#include <QStyledItemDelegate>

namespace skarvet {

class TClassicStyle : public QProxyStyle {
  Q_OBJECT

public:
  TClassicStyle();

  int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                const QWidget* widget = nullptr,
                QStyleHintReturn* returnData = nullptr) const override;
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
