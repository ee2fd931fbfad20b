#include <gtest/gtest.h>

#include <QDir>

#include "PrivateProfile.h"
#include "SettingsFileFixture.h"
#include "SettingsLocation.h"

namespace {

TEST(SettingsPath, ReplacesTheExtensionWithUpperCaseIni) {
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/tool/trellum"), "/opt/tool/trellum.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/tool/trellum.exe"), "/opt/tool/trellum.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/v1.2/copy.of.trellum"), "/opt/v1.2/copy.of.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/v1.2/other"), "/opt/v1.2/other.INI");
}

// Beside the package's marker the file is the user's; elsewhere it lies
// beside the window's program.
TEST(SettingsPath, MarkerBesideTheProgramsMovesTheFileToTheUsersFolder) {
  QTemporaryDir portable, packaged, home;
  QFile marker(packaged.filePath(kPackagedMarker));
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  const QString config = home.filePath("cfg");
  const struct {
    QString program;
    UserFolders user;
    QString expected;
  } cases[] = {
      {portable.filePath("trellum"), {config, home.path()}, portable.filePath("trellum.INI")},
      {portable.filePath("other.exe"), {}, portable.filePath("other.INI")},
      {packaged.filePath("trellum"), {config, home.path()}, config + "/trellum/trellum.INI"},
      {packaged.filePath("trellum"), {"", home.path()}, home.filePath(".config/trellum/trellum.INI")},
      {packaged.filePath("trellum"), {"cfg", home.path()}, home.filePath(".config/trellum/trellum.INI")},
      {packaged.filePath("other"), {"", home.path()}, home.filePath(".config/trellum/trellum.INI")},
  };
  for (const auto& c : cases) EXPECT_EQ(SettingsFilePath(c.program, c.user), c.expected) << c.program.toStdString();
}

TEST_F(SettingsFileTest, PortValuesFollowTheReadingRule) {
  EXPECT_EQ(PortFrom("3"), 3);
  EXPECT_EQ(PortFrom("0x6"), 6);
  EXPECT_EQ(PortFrom("0X1f"), 31);
  EXPECT_EQ(PortFrom("$2"), 2);
  EXPECT_EQ(PortFrom("abc"), 0);
  EXPECT_EQ(PortFrom("8"), 8);
  EXPECT_EQ(PortFrom("-1"), -1);
  EXPECT_EQ(PortFrom("  5  "), 5);
  EXPECT_EQ(PortFrom(""), 0);
  EXPECT_EQ(PortFrom("0x"), 0);  // two characters only: not turned into "$"
  EXPECT_EQ(PortFrom("$"), 0);
  EXPECT_EQ(PortFrom("3a"), 0);
  EXPECT_EQ(PortFrom("2147483647"), 2147483647);
  EXPECT_EQ(PortFrom("2147483648"), 0);  // out of the 32-bit range
  EXPECT_EQ(PortFrom("-2147483648"), -2147483648LL);
  EXPECT_EQ(PortFrom("$FFFFFFFF"), -1);
  EXPECT_EQ(PortFrom("$100000000"), 0);
  EXPECT_EQ(PortFrom("$-1"), 0);
  EXPECT_EQ(PortFrom("$0x5"), 0);
  EXPECT_EQ(PortFrom("0x0x5"), 0);
  EXPECT_EQ(PortFrom("$ 5"), 0);
  EXPECT_EQ(PortFrom(QByteArray(3000, '1')), 0);
}

TEST_F(SettingsFileTest, SectionAndKeyCompareWithoutCase) {
  Write("[settings]\nPORT = 4\n");
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 4);
}

TEST_F(SettingsFileTest, MissingFileSectionOrKeyGivesZero) {
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 0);
  Write("[Other]\nPort=5\n");
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 0);
  Write("[Settings]\nBaud=5\n[Other]\nPort=5\n");
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 0);
}

TEST_F(SettingsFileTest, ReconnectIsANumberOtherThanZeroInOptions) {
  const std::pair<QByteArray, bool> cases[] = {
      {"", false},
      {"[Options]\nReconnect=1\n", true},
      {"[options]\nRECONNECT = 0x2\n", true},
      {"[Options]\nReconnect=0\n", false},
      {"[Options]\nReconnect=yes\n", false},
      {"[Settings]\nReconnect=1\n", false},
  };
  for (const auto& [text, on] : cases) {
    Write(text);
    EXPECT_EQ(SettingsFile(Path()).ReadReconnect(), on) << text.toStdString();
  }
}

TEST_F(SettingsFileTest, WritingCreatesTheFileAndSectionAndTheFolders) {
  SettingsFile(Path()).WritePortIndex(2);
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 2);
  EXPECT_TRUE(Read().contains("[Settings]"));
  EXPECT_TRUE(Read().contains("Port=2"));
  const QString inNewFolders = dir.filePath("config/trellum/trellum.INI");
  SettingsFile(inNewFolders).WritePortIndex(4);
  EXPECT_EQ(SettingsFile(inNewFolders).ReadPortIndex(), 4);
}

TEST_F(SettingsFileTest, WritingKeepsEveryOtherSectionKeyAndComment) {
  Write("; made by hand\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[settings]\nColour=blue\nport=7\n; trailing comment\n"
        "[Last]\nKey=Value\n");
  SettingsFile(Path()).WritePortIndex(-1);
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), -1);
  EXPECT_EQ(PrivateProfile::ReadString(Path(), "Ports", "COM1"), QByteArray("/dev/ttyUSB0"));
  EXPECT_EQ(PrivateProfile::ReadString(Path(), "Settings", "Colour"), QByteArray("blue"));
  EXPECT_EQ(PrivateProfile::ReadString(Path(), "Last", "Key"), QByteArray("Value"));
  const QByteArray text = Read();
  EXPECT_TRUE(text.startsWith("; made by hand\n[Ports]\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("; trailing comment\n")) << text.toStdString();
  EXPECT_EQ(text.toLower().count("\nport="), 1) << text.toStdString();
}

TEST_F(SettingsFileTest, NewKeyGoesAtTheEndOfItsSection) {
  // Blank lines aside, which Wine's writer drops.
  Write("[Settings]\nColour=blue\n\n[Other]\nA=1\n");
  SettingsFile(Path()).WritePortIndex(3);
  EXPECT_EQ(Read().replace("\n\n", "\n"), QByteArray("[Settings]\nColour=blue\nPort=3\n[Other]\nA=1\n"));
  Write("[Other]\nA=1");
  SettingsFile(Path()).WritePortIndex(0);
  EXPECT_EQ(Read(), QByteArray("[Other]\nA=1\n[Settings]\nPort=0\n"));
}

TEST_F(SettingsFileTest, UnwritablePathThrowsWithThePath) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("trellum.INI"));
  try {
    SettingsFile(Path()).WritePortIndex(1);
    FAIL() << "no error";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + QDir::toNativeSeparators(Path()).toStdString());
  }
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 0);
}

TEST_F(SettingsFileTest, PortsSectionNamesDevices) {
  Write("[Ports]\ncom2 = /dev/ttyUSB1\nCOM3=\n");
  SettingsFile settings(Path());
  EXPECT_EQ(settings.DeviceForPort("COM2"), QString("/dev/ttyUSB1"));
  EXPECT_FALSE(settings.DeviceForPort("COM3"));
  EXPECT_FALSE(settings.DeviceForPort("COM1"));
  EXPECT_FALSE(settings.DeviceForPort(""));
}

TEST_F(SettingsFileTest, QuotesAreStrippedAndFirstSectionWins) {
  Write("[A]\nk=\"quoted value\"\n[a]\nk=second\n");
  EXPECT_EQ(PrivateProfile::ReadString(Path(), "A", "K"), QByteArray("quoted value"));
  EXPECT_FALSE(PrivateProfile::ReadString(Path(), "B", "k"));
  Write("[A]\n;k=1\n");
  EXPECT_FALSE(PrivateProfile::ReadString(Path(), "A", "k"));
}

}  // namespace
