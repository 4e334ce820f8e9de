// The main window when the design font is missing (no fonts-wine): a
// stand-in font with Arial's metrics, labels sized to their text in it, and
// no label running into the control beside it.
#include "app/Application.h"
#include "controls/ClassicStyle.h"
#include "mainwindow/MainFormUnit.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <gtest/gtest.h>

using namespace skarvet;

namespace {

int Right(const QWidget* widget) {
  return widget->x() + widget->width();
}

TEST(MainFormWithoutTheDesignFont, AStandInFontAndEveryLabelStillClearOfItsNeighbours) {
  // This program registers no fonts from the usual folder, as on a machine
  // without fonts-wine.
  ASSERT_FALSE(RegisterApplicationFonts(QStringLiteral("/nonexistent/fonts/")));
  TMainForm form;
  const QString family = QFontInfo(form.font()).family();
  EXPECT_NE(family, QStringLiteral("MS Sans Serif"));
  if (QFontDatabase::hasFamily(QStringLiteral("Liberation Sans"))) {
    EXPECT_EQ(family, QStringLiteral("Liberation Sans"));
  }
  EXPECT_EQ(form.font().pixelSize(), 11);

  auto find = [&](const char* name) {
    QWidget* widget = form.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  };
  // Sized to their text in the stand-in font.
  for (const char* name :
       {"Label1", "Label2", "Label3", "Label4", "Label5", "Label7", "ShutdownReasonLabel",
        "UserNameLabel", "PasswordLabel", "DomainLabel"}) {
    auto* label = qobject_cast<QLabel*>(find(name));
    ASSERT_NE(label, nullptr);
    const int overhang = TClassicStyle::NeedsSyntheticBold(label->font()) ? 1 : 0;
    EXPECT_EQ(label->width(), label->sizeHint().width() + overhang) << name;
  }
  // Clear of their neighbours.
  EXPECT_LE(Right(find("Label1")), find("Panel2")->width()) << "Label1";
  EXPECT_LT(Right(find("Label2")), find("ComputerNameEdit")->x()) << "Label2";
  EXPECT_LT(Right(find("Label3")), find("YesRadioButton")->x()) << "Label3";
  EXPECT_LT(Right(find("Label7")), find("ForceCheckbox")->x()) << "Label7";
  EXPECT_LT(Right(find("ShutdownReasonLabel")), find("ShutdownReasonComboBox")->x());
  for (const char* name : {"UserNameLabel", "PasswordLabel", "DomainLabel"}) {
    EXPECT_EQ(Right(find(name)), 122) << name;
    EXPECT_GT(find(name)->x(), Right(find("AuthenticationImage"))) << name;
  }
  for (const char* name : {"Label4", "Label5"})
    EXPECT_LT(Right(find(name)), find("ExitButton")->x()) << name;
}

} // namespace
