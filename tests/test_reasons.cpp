// The shutdown reasons: the table itself, and the list the main window
// fills from it and reads the picked code from.
#include "mainwindow/MainFormUnit.h"
#include "mainwindow/ReasonTable.h"

#include <QComboBox>
#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace skarvet;

namespace {

QComboBox* ReasonList(TMainForm& form) {
  auto* list = form.findChild<QComboBox*>("ShutdownReasonComboBox");
  EXPECT_NE(list, nullptr);
  return list;
}

} // namespace

TEST(ReasonTable, EighteenEntriesWithTheirExactTextsAndCodes) {
  const std::pair<const char*, std::uint32_t> expected[] = {
      {"Other (Unplanned)", 0x00000000u},
      {"Other (Planned)", 0x80000000u},
      {"Other Failure: System Unresponsive", 0x00000005u},
      {"Hardware: Maintenance (Unplanned)", 0x00010001u},
      {"Hardware: Maintenance (Planned)", 0x80010001u},
      {"Hardware: Installation (Unplanned)", 0x00010002u},
      {"Hardware: Installation (Planned)", 0x80010002u},
      {"Operating System: Upgrade (Unplanned)", 0x00020003u},
      {"Operating System: Upgrade (Planned)", 0x80020003u},
      {"Operating System: Reconfiguration (Unplanned)", 0x00020004u},
      {"Operating System: Reconfiguration (Planned)", 0x80020004u},
      {"Application: Maintenance (Unplanned)", 0x00040001u},
      {"Application: Maintenance (Planned)", 0x80040001u},
      {"Application: Unresponsive", 0x00040005u},
      {"Application: Unstable", 0x00040006u},
      {"System Failure: Stop error", 0x0005000Fu},
      {"Power Failure: Cord Unplugged", 0x0006000Bu},
      {"Power Failure: Environment", 0x0006000Cu},
  };
  ASSERT_EQ(ShutdownReasons.size(), std::size(expected));
  for (std::size_t i = 0; i < ShutdownReasons.size(); ++i) {
    EXPECT_EQ(std::string(ShutdownReasons[i].Text), expected[i].first) << i;
    EXPECT_EQ(ShutdownReasons[i].Code, expected[i].second) << i;
  }
}

TEST(ReasonTable, CodesAgreeWithTheNamedPartsAndTheirTexts) {
  const std::uint32_t composed[] = {
      kReasonMajorOther | kReasonMinorOther,
      kReasonFlagPlanned | kReasonMajorOther | kReasonMinorOther,
      kReasonMajorOther | kReasonMinorHung,
      kReasonMajorHardware | kReasonMinorMaintenance,
      kReasonFlagPlanned | kReasonMajorHardware | kReasonMinorMaintenance,
      kReasonMajorHardware | kReasonMinorInstallation,
      kReasonFlagPlanned | kReasonMajorHardware | kReasonMinorInstallation,
      kReasonMajorOperatingSystem | kReasonMinorUpgrade,
      kReasonFlagPlanned | kReasonMajorOperatingSystem | kReasonMinorUpgrade,
      kReasonMajorOperatingSystem | kReasonMinorReconfig,
      kReasonFlagPlanned | kReasonMajorOperatingSystem | kReasonMinorReconfig,
      kReasonMajorApplication | kReasonMinorMaintenance,
      kReasonFlagPlanned | kReasonMajorApplication | kReasonMinorMaintenance,
      kReasonMajorApplication | kReasonMinorHung,
      kReasonMajorApplication | kReasonMinorUnstable,
      kReasonMajorSystem | kReasonMinorBlueScreen,
      kReasonMajorPower | kReasonMinorCordUnplugged,
      kReasonMajorPower | kReasonMinorEnvironment,
  };
  int planned = 0;
  std::set<std::uint32_t> codes;
  for (std::size_t i = 0; i < ShutdownReasons.size(); ++i) {
    const ShutdownReason& reason = ShutdownReasons[i];
    EXPECT_EQ(reason.Code, composed[i]) << reason.Text;
    // Only the planned flag, the major and the minor reason are ever set.
    EXPECT_EQ(reason.Code & 0x7F000000u, 0u) << reason.Text;
    EXPECT_EQ(reason.Code & kReasonFlagUserDefined, 0u) << reason.Text;
    const std::string text = reason.Text;
    const bool saysPlanned = text.ends_with("(Planned)");
    EXPECT_EQ((reason.Code & kReasonFlagPlanned) != 0, saysPlanned) << text;
    planned += saysPlanned ? 1 : 0;
    codes.insert(reason.Code);
  }
  EXPECT_EQ(planned, 6);
  EXPECT_EQ(codes.size(), ShutdownReasons.size()) << "every entry has its own code";
  EXPECT_EQ(kDefaultReasonCode, kReasonMajorHardware | kReasonMinorOther);
  EXPECT_EQ(codes.count(kDefaultReasonCode), 0u) << "the default is no entry's code";
}

TEST(ReasonList, FilledOnceInTableOrderWithNothingPicked) {
  TMainForm form;
  QComboBox* list = ReasonList(form);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 18);
  for (int i = 0; i < list->count(); ++i) {
    EXPECT_EQ(list->itemText(i).toStdString(), ShutdownReasons[i].Text);
    EXPECT_EQ(list->itemData(i).value<quint32>(), ShutdownReasons[i].Code);
  }
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_TRUE(list->currentText().isEmpty());
  EXPECT_EQ(form.SelectedReasonCode(), 0x00010000u);
}

TEST(ReasonList, PickOnlyAndShowsEightAtATime) {
  TMainForm form;
  QComboBox* list = ReasonList(form);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(list->isEditable()) << "no text can be typed into the list";
  EXPECT_EQ(list->lineEdit(), nullptr);
  EXPECT_EQ(list->maxVisibleItems(), 8);
}

TEST(ReasonList, ThePickedIndexNotTheCodeTellsAPickFromNone) {
  TMainForm form;
  QComboBox* list = ReasonList(form);
  ASSERT_NE(list, nullptr);
  list->setCurrentIndex(0);
  EXPECT_EQ(form.SelectedReasonCode(), 0x00000000u) << "a zero code is a real pick";
  list->setCurrentIndex(1);
  EXPECT_EQ(form.SelectedReasonCode(), 0x80000000u);
  list->setCurrentIndex(15);
  EXPECT_EQ(form.SelectedReasonCode(), 0x0005000Fu);
  list->setCurrentIndex(17);
  EXPECT_EQ(form.SelectedReasonCode(), 0x0006000Cu);
  list->setCurrentIndex(-1);
  EXPECT_EQ(form.SelectedReasonCode(), 0x00010000u);
}

TEST(ReasonList, FillingAgainAppendsAndKeepsThePick) {
  TMainForm form;
  QComboBox* list = ReasonList(form);
  ASSERT_NE(list, nullptr);
  list->setCurrentIndex(4);
  form.FillReasonList();
  EXPECT_EQ(list->count(), 36);
  EXPECT_EQ(list->currentIndex(), 4);
  EXPECT_EQ(form.SelectedReasonCode(), 0x80010001u);
}
