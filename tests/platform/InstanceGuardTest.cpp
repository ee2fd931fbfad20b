#include "InstanceGuard.h"
#include "RuntimeFolderPosix.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kName[] = "trellum";

class InstanceGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(runtime_.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
  }

  QString GuardPath() const { return runtime_.filePath(QString::fromLatin1(kName)); }

  // Starts a process holding the guard and waits until it reports.
  std::unique_ptr<QProcess> StartHolder(const QString& expected = QStringLiteral("held")) {
    auto holder = std::make_unique<QProcess>();
    holder->start(QStringLiteral(GUARD_HOLDER), {QString::fromLatin1(kName)});
    EXPECT_TRUE(holder->waitForStarted(10000));
    EXPECT_TRUE(holder->waitForReadyRead(10000));
    EXPECT_EQ(QString::fromLocal8Bit(holder->readLine()).trimmed(), expected);
    return holder;
  }

  QTemporaryDir runtime_;
};

TEST_F(InstanceGuardTest, SecondGuardInTheSameProcessIsRefusedUntilTheFirstIsReleased) {
  InstanceGuard first(kName);
  ASSERT_TRUE(first.Held());
  EXPECT_TRUE(QFileInfo(GuardPath()).isFile());

  InstanceGuard second(kName);
  EXPECT_FALSE(second.Held());

  first.Release();
  EXPECT_FALSE(first.Held());
  InstanceGuard third(kName);
  EXPECT_TRUE(third.Held());
}

TEST_F(InstanceGuardTest, GuardsWithOtherNamesDoNotInterfere) {
  InstanceGuard first(kName);
  InstanceGuard other("trellum2");
  EXPECT_TRUE(first.Held());
  EXPECT_TRUE(other.Held());
}

TEST_F(InstanceGuardTest, FileLeftByAnEarlierRunIsNoGuard) {
  QFile leftover(GuardPath());
  ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
  leftover.write("old");
  leftover.close();

  InstanceGuard guard(kName);
  EXPECT_TRUE(guard.Held());
}

TEST_F(InstanceGuardTest, GuardOfAnotherProcessRefusesUntilThatProcessEnds) {
  auto holder = StartHolder();
  {
    InstanceGuard refused(kName);
    EXPECT_FALSE(refused.Held());
  }
  holder->closeWriteChannel();
  ASSERT_TRUE(holder->waitForFinished(10000));
  EXPECT_EQ(holder->exitCode(), 0);

  InstanceGuard guard(kName);
  EXPECT_TRUE(guard.Held());
}

TEST_F(InstanceGuardTest, KilledHolderLeavesNoStaleGuard) {
  auto holder = StartHolder();
  kill(static_cast<pid_t>(holder->processId()), SIGKILL);
  ASSERT_TRUE(holder->waitForFinished(10000));
  EXPECT_EQ(holder->exitStatus(), QProcess::CrashExit);

  InstanceGuard guard(kName);
  EXPECT_TRUE(guard.Held());
}

TEST_F(InstanceGuardTest, HolderInAnotherProcessIsRefusedWhileThisOneHolds) {
  InstanceGuard guard(kName);
  ASSERT_TRUE(guard.Held());
  auto holder = StartHolder(QStringLiteral("refused"));
  holder->closeWriteChannel();
  EXPECT_TRUE(holder->waitForFinished(10000));
}

TEST_F(InstanceGuardTest, ThingsThatAreNoFileRefuse) {
  const QString elsewhere = runtime_.filePath(QStringLiteral("elsewhere"));
  QFile target(elsewhere);
  ASSERT_TRUE(target.open(QIODevice::WriteOnly));
  target.close();
  const QByteArray path = QFile::encodeName(GuardPath());

  ASSERT_TRUE(QDir(runtime_.path()).mkdir(QString::fromLatin1(kName)));
  EXPECT_FALSE(InstanceGuard(kName).Held()) << "directory";
  ASSERT_TRUE(QDir(runtime_.path()).rmdir(QString::fromLatin1(kName)));

  ASSERT_EQ(symlink(QFile::encodeName(elsewhere).constData(), path.constData()), 0);
  EXPECT_FALSE(InstanceGuard(kName).Held()) << "symbolic link";
  ASSERT_EQ(unlink(path.constData()), 0);

  ASSERT_EQ(mkfifo(path.constData(), 0600), 0);
  EXPECT_FALSE(InstanceGuard(kName).Held()) << "FIFO";
  ASSERT_EQ(unlink(path.constData()), 0);

  EXPECT_TRUE(InstanceGuard(kName).Held()) << "the name is free again";
}

// Without a usable XDG_RUNTIME_DIR the guard lives in a private folder in
// /tmp; the tests use a name of their own so as not to meet a running program.
class FallbackFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = QStringLiteral("trellum-test-%1").arg(getpid());
    folder_ = QStringLiteral("/tmp/%1-%2").arg(name_).arg(getuid());
    Remove();
  }
  void TearDown() override { Remove(); }

  void Remove() {
    QFile::remove(folder_ + u'/' + name_);
    QFile::remove(folder_);
    QDir(folder_).removeRecursively();
  }

  mode_t FolderMode() const {
    struct stat info {};
    EXPECT_EQ(lstat(QFile::encodeName(folder_).constData(), &info), 0);
    return info.st_mode & 07777;
  }

  QString name_;
  QString folder_;
};

// Every copy must settle on the same folder, whether or not the runtime
// folder exists yet when it starts.
TEST_F(FallbackFolderTest, RuntimeFolderNotThereYetIsMadeAndUsed) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QString runtime = scratch.filePath(QStringLiteral("runtime"));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
  InstanceGuard guard(name_.toStdString());
  EXPECT_TRUE(guard.Held());
  EXPECT_TRUE(QFileInfo(runtime + u'/' + name_).isFile());
  EXPECT_EQ(RuntimeFolder(name_.toStdString()), runtime.toStdString());
  EXPECT_FALSE(InstanceGuard(name_.toStdString()).Held());
  EXPECT_FALSE(QFileInfo::exists(folder_));
}

TEST_F(FallbackFolderTest, MissingOrRelativeRuntimeFolderFallsBackToAPrivateFolder) {
  QTemporaryDir scratch;
  ASSERT_TRUE(scratch.isValid());
  const QByteArray orphan = QFile::encodeName(scratch.filePath(QStringLiteral("gone/runtime")));
  const QByteArray file = QFile::encodeName(scratch.filePath(QStringLiteral("file")));
  QFile plain(QFile::decodeName(file));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  for (const QByteArray& runtime : {QByteArray(""), QByteArray("relative/folder"), orphan, file}) {
    SCOPED_TRACE(runtime.constData());
    Remove();
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(RuntimeFolder(name_.toStdString()), folder_.toStdString());
    InstanceGuard guard(name_.toStdString());
    EXPECT_TRUE(guard.Held());
    EXPECT_TRUE(QFileInfo(folder_ + u'/' + name_).isFile());
    EXPECT_EQ(FolderMode(), 0700u);
    InstanceGuard second(name_.toStdString());
    EXPECT_FALSE(second.Held());
  }
}

TEST_F(FallbackFolderTest, OwnFolderOpenToOthersIsMadePrivate) {
  qunsetenv("XDG_RUNTIME_DIR");
  ASSERT_EQ(mkdir(QFile::encodeName(folder_).constData(), 0777), 0);
  ASSERT_EQ(chmod(QFile::encodeName(folder_).constData(), 0777), 0);
  InstanceGuard guard(name_.toStdString());
  EXPECT_TRUE(guard.Held());
  EXPECT_EQ(FolderMode(), 0700u);
}

TEST_F(FallbackFolderTest, PlantedFolderIsNotTrusted) {
  qunsetenv("XDG_RUNTIME_DIR");
  QTemporaryDir planted;
  ASSERT_TRUE(planted.isValid());
  ASSERT_EQ(symlink(QFile::encodeName(planted.path()).constData(), QFile::encodeName(folder_).constData()), 0);
  EXPECT_TRUE(RuntimeFolder(name_.toStdString()).empty());
  EXPECT_FALSE(InstanceGuard(name_.toStdString()).Held()) << "symbolic link to a folder";
  ASSERT_TRUE(QFile::remove(folder_));

  if (getuid() != 0) {
    GTEST_SKIP() << "handing a folder to another user needs root";
  }
  ASSERT_EQ(mkdir(QFile::encodeName(folder_).constData(), 0700), 0);
  ASSERT_EQ(chown(QFile::encodeName(folder_).constData(), 65534, 65534), 0);
  EXPECT_FALSE(InstanceGuard(name_.toStdString()).Held()) << "folder of another user";
}

}  // namespace
