#include <QComboBox>
#include <QDir>

#include "WindowFixture.h"

namespace {

using WindowSettings = WindowFixture;

TEST_F(WindowSettings, NoFileSelectsCom1AndCreatesTheFileOnExit) {
  EXPECT_EQ(Form().comm1->currentText(), "COM1");
  Form().comm1->setCurrentIndex(5);
  DestroyForm();
  EXPECT_EQ(ReadSettings().trimmed(), QByteArray("[Settings]\nPort=5"));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WindowSettings, StoredIndexSelectsTheEntry) {
  const std::pair<QByteArray, int> cases[] = {{"3", 3}, {"0x6", 6}, {"$2", 2}, {"abc", 0}, {"7", 7}};
  for (const auto& [value, index] : cases) {
    WriteSettings("[Settings]\nPort=" + value + "\n");
    EXPECT_EQ(Form().comm1->currentIndex(), index) << value.toStdString();
    EXPECT_EQ(Form().comm1->currentText(), QString("COM%1").arg(index + 1));
    DestroyForm();
  }
}

TEST_F(WindowSettings, OutOfRangeIndexLeavesNoEntryAndIsWrittenBackAsMinusOne) {
  for (const char* value : {"8", "9", "-1"}) {
    WriteSettings(QByteArray("[Settings]\nPort=") + value + "\n");
    EXPECT_EQ(Form().comm1->currentIndex(), -1) << value;
    EXPECT_EQ(Form().comm1->currentText(), "");
    DestroyForm();
    EXPECT_EQ(ReadSettings(), QByteArray("[Settings]\nPort=-1\n"));
  }
}

TEST_F(WindowSettings, OtherContentSurvivesARun) {
  const QByteArray before = "; bench 4\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Settings]\r\nPort=2\r\nExtra=yes\r\n";
  WriteSettings(before);
  Form().comm1->setCurrentIndex(4);
  DestroyForm();
  QByteArray expected = before;
  expected.replace("Port=2", "Port=4").replace("\r\n", "\n");
  EXPECT_EQ(ReadSettings(), expected);
}

TEST_F(WindowSettings, UnwritableFileIsReportedWithItsPath) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("trellum.INI"));
  Form();
  DestroyForm();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].caption, "Velmora");
  EXPECT_EQ(messages.boxes[0].text, "Unable to write to " + QDir::toNativeSeparators(SettingsPath()) + ".");
  EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Error);
}

}  // namespace
