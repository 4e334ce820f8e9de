#include "controls/DisplayScale.h"

#include "controls/ClassicStyle.h"

#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QWidget>

namespace skarvet {
namespace {

const QString kScalableStandIn = QStringLiteral("Tahoma");
// Only where fonts-wine is half there: Arial's metrics, under a name that no
// window asks for on its own (the browser's heading asks for Arial).
const QString kLastStandIn = QStringLiteral("Liberation Sans");

bool IsDesignFamily(const QString& family) {
  return family == QLatin1String(kDesignFontFamily) || family == kScalableStandIn ||
         family == kLastStandIn;
}

// Watches one window for a move to a screen of another scale.
class TScaleFollower : public QObject {
public:
  TScaleFollower(QWidget& window, std::function<void()> relayout)
      : QObject(&window), FWindow(window), FRelayout(std::move(relayout)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    // Qt tells a widget that its window changed screens (and so, perhaps,
    // device pixel ratio) with this event.
    if (watched == &FWindow && event->type() == QEvent::ScreenChangeInternal &&
        FitDesignFontToScale(FWindow) && FRelayout) {
      FRelayout();
    }
    return false;
  }

private:
  QWidget& FWindow;
  std::function<void()> FRelayout;
};

} // namespace

QString DesignFontFamily(qreal devicePixelRatio) {
  static const bool systemScales = QGuiApplication::platformName() == QLatin1String("windows");
  if (systemScales || qFuzzyCompare(devicePixelRatio, 1.0)) return QLatin1String(kDesignFontFamily);
  return QFontDatabase::hasFamily(kScalableStandIn) ? kScalableStandIn : kLastStandIn;
}

bool FitDesignFontToScale(QWidget& window) {
  const QString family = DesignFontFamily(window.devicePixelRatioF());
  QList<QWidget*> widgets = window.findChildren<QWidget*>();
  widgets.prepend(&window);
  bool changed = false;
  for (QWidget* widget : widgets) {
    // Other windows (dialogs owned by this one) fit themselves.
    if (widget != &window && widget->isWindow()) continue;
    QFont font = widget->font();
    if (!IsDesignFamily(font.family())) continue;
    if (font.family() != family) {
      font.setFamily(family);
      widget->setFont(font);
      changed = true;
    }
    if (font.weight() >= QFont::DemiBold && TClassicStyle::FitSyntheticBold(widget)) changed = true;
  }
  return changed;
}

void FollowDisplayScale(QWidget& window, std::function<void()> relayout) {
  window.installEventFilter(new TScaleFollower(window, std::move(relayout)));
}

} // namespace skarvet
