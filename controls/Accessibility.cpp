#include "controls/Accessibility.h"

#include "controls/ImageUnit.h"
#include "controls/LinkLabel.h"
#include "controls/ProgressBarXPUnit.h"
#include "controls/StatusLine.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QLabel>
#include <QMetaObject>

namespace skarvet {
namespace {

// A control with a role of its own, named by its accessible name or else
// by the text it shows.
class TNamedControl : public QAccessibleWidget {
public:
  TNamedControl(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      if (const auto* label = qobject_cast<const QLabel*>(widget())) return label->text();
    }
    return QAccessibleWidget::text(kind);
  }
};

// A link: pressing it does what a click does. The click is queued, so that
// the assistive technology's call returns at once whatever the click opens.
class TLink : public TNamedControl {
public:
  explicit TLink(QWidget* widget) : TNamedControl(widget, QAccessible::Link) {}

  QStringList actionNames() const override {
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
  }

  void doAction(const QString& action) override {
    if (action == pressAction() && widget()->isEnabled()) {
      QMetaObject::invokeMethod(widget(), "clicked", Qt::QueuedConnection);
      return;
    }
    QAccessibleWidget::doAction(action);
  }
};

// A picture: a link when clicking it does something, otherwise a graphic.
// Asked each time, since the click may be wired after the window is built.
class TPicture : public TLink {
public:
  explicit TPicture(QWidget* widget) : TLink(widget) {}

  QAccessible::Role role() const override {
    return Clickable() ? QAccessible::Link : QAccessible::Graphic;
  }

  QStringList actionNames() const override {
    // A picture that does nothing has a plain widget's actions, not a link's.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call)
    return Clickable() ? TLink::actionNames() : QAccessibleWidget::actionNames();
  }

private:
  bool Clickable() const { return static_cast<const TImage*>(widget())->IsClickable(); }
};

class TProgressBar : public QAccessibleWidget, public QAccessibleValueInterface {
public:
  explicit TProgressBar(QWidget* widget) : QAccessibleWidget(widget, QAccessible::ProgressBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return QStringLiteral("%1 %").arg(Bar()->Percent());
    return QAccessibleWidget::text(kind);
  }

  QVariant currentValue() const override { return Bar()->Position(); }
  // The bar shows an animation, not something to set.
  void setCurrentValue(const QVariant&) override {}
  QVariant maximumValue() const override { return Bar()->MaxPosition(); }
  QVariant minimumValue() const override { return Bar()->MinPosition(); }
  QVariant minimumStepSize() const override { return 1; }

private:
  const TProgressBarXP* Bar() const { return static_cast<const TProgressBarXP*>(widget()); }
};

QAccessibleInterface* CreateInterface(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  if (className == QLatin1String("skarvet::TProgressBarXP")) return new TProgressBar(widget);
  if (className == QLatin1String("skarvet::TLinkLabel")) return new TLink(widget);
  if (className == QLatin1String("skarvet::TStatusLine"))
    return new TNamedControl(widget, QAccessible::StatusBar);
  if (className == QLatin1String("skarvet::TImage")) return new TPicture(widget);
  if (className == QLatin1String("QFrame") && !widget->accessibleName().isEmpty())
    return new QAccessibleWidget(widget, QAccessible::Grouping);
  // Reached for a window made of a plain widget (classes of their own
  // walk up to it): Qt would call it a client area.
  if (className == QLatin1String("QWidget") && widget->windowType() == Qt::Window)
    return new QAccessibleWidget(widget, QAccessible::Window);
  return nullptr;
}

} // namespace

void InstallAccessibleInterfaces() {
  // Installing the same factory twice is ignored.
  QAccessible::installFactory(CreateInterface);
}

} // namespace skarvet
