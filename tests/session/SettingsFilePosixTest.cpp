#include <gtest/gtest.h>

#include <unistd.h>

#include "SettingsFileFixture.h"

namespace {

// The program's own writer keeps every other byte, line ends included.
TEST_F(SettingsFileTest, WritingKeepsEveryOtherByte) {
  const QByteArray before =
      "; made by hand\r\n[Ports]\r\nCOM1=/dev/ttyUSB0\r\n\r\n[settings]\r\nColour=blue\r\nport=7\r\n"
      "; trailing comment\r\n[Last]\r\nKey=Value";
  Write(before);
  SettingsFile(Path()).WritePortIndex(-1);
  QByteArray expected = before;
  expected.replace("port=7", "Port=-1");
  QFile file(Path());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), expected);
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

}  // namespace
