#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <unistd.h>

#include "PrivateProfile.h"
#include "SettingsFile.h"

namespace {

class SettingsFileTest : public ::testing::Test {
 protected:
  QString Path() const { return dir.filePath("trellum.INI"); }
  void Write(const QByteArray& text) {
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QByteArray Read() {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  int PortFrom(const QByteArray& value) {
    Write("[Settings]\nPort=" + value + "\n");
    return SettingsFile(Path()).ReadPortIndex();
  }
  QTemporaryDir dir;
};

TEST(SettingsPath, ReplacesTheExtensionWithUpperCaseIni) {
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/tool/trellum"), "/opt/tool/trellum.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/tool/trellum.exe"), "/opt/tool/trellum.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/v1.2/copy.of.trellum"), "/opt/v1.2/copy.of.INI");
  EXPECT_EQ(SettingsFile::PathBesideExecutable("/opt/v1.2/other"), "/opt/v1.2/other.INI");
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

TEST_F(SettingsFileTest, WritingCreatesTheFileAndSection) {
  SettingsFile(Path()).WritePortIndex(2);
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 2);
  EXPECT_TRUE(Read().contains("[Settings]"));
  EXPECT_TRUE(Read().contains("Port=2"));
}

TEST_F(SettingsFileTest, WritingKeepsEveryOtherLine) {
  const QByteArray before =
      "; made by hand\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n\r\n[settings]\r\nColour=blue\r\nport=7\r\n"
      "; trailing comment\r\n[Last]\r\nKey=Value";
  Write(before);
  SettingsFile(Path()).WritePortIndex(-1);
  QByteArray expected = before;
  expected.replace("port=7", "Port=-1");
  EXPECT_EQ(Read(), expected);
}

TEST_F(SettingsFileTest, NewKeyGoesAtTheEndOfItsSection) {
  Write("[Settings]\nColour=blue\n\n[Other]\nA=1\n");
  SettingsFile(Path()).WritePortIndex(3);
  EXPECT_EQ(Read(), QByteArray("[Settings]\nColour=blue\nPort=3\n\n[Other]\nA=1\n"));
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
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + Path().toStdString());
  }
  EXPECT_EQ(SettingsFile(Path()).ReadPortIndex(), 0);
}

// While it lives, files are opened as an unprivileged user, for whom
// permissions count (as root they would not).
class UnprivilegedUser {
 public:
  UnprivilegedUser() : dropped_(geteuid() == 0 && setegid(65534) == 0 && seteuid(65534) == 0) {}
  ~UnprivilegedUser() {
    if (dropped_ && seteuid(0) == 0) setegid(0);
  }

 private:
  bool dropped_;
};

TEST_F(SettingsFileTest, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
  Write("[Ports]\nCOM1=/dev/ttyUSB0\n[Settings]\nPort=2\n");
  const auto readOnly =
      QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(Path(), readOnly | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
  ASSERT_TRUE(QFile::setPermissions(dir.path(), readOnly));
  bool written = false;
  {
    UnprivilegedUser user;
    try {
      SettingsFile(Path()).WritePortIndex(5);
      written = true;
    } catch (const SettingsWriteError&) {
    }
  }
  ASSERT_TRUE(QFile::setPermissions(dir.path(), readOnly | QFile::WriteOwner));
  EXPECT_TRUE(written);
  EXPECT_EQ(Read(), QByteArray("[Ports]\nCOM1=/dev/ttyUSB0\n[Settings]\nPort=5\n"));
}

TEST_F(SettingsFileTest, PortsSectionNamesDevices) {
  Write("[Ports]\ncom2 = /dev/ttyUSB1\nCOM3=\n");
  SettingsFile settings(Path());
  EXPECT_EQ(settings.DeviceForPort("COM2"), QString("/dev/ttyUSB1"));
  EXPECT_FALSE(settings.DeviceForPort("COM3"));
  EXPECT_FALSE(settings.DeviceForPort("COM1"));
  EXPECT_FALSE(settings.DeviceForPort(""));
}

TEST(PrivateProfileText, QuotesAreStrippedAndFirstSectionWins) {
  const QByteArray text = "[A]\nk=\"quoted value\"\n[a]\nk=second\n";
  EXPECT_EQ(PrivateProfile::Lookup(text, "A", "K"), QByteArray("quoted value"));
  EXPECT_FALSE(PrivateProfile::Lookup(text, "B", "k"));
  EXPECT_FALSE(PrivateProfile::Lookup("[A]\n;k=1\n", "A", "k"));
}

}  // namespace
