// Runs the whole program in-process, one QApplication per run, with message
// boxes recorded instead of shown.
#include "Trellum.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "AboutBox.h"
#include "InstanceGuard.h"
#include "OperatorMessages.h"
#include "Pictures.h"

namespace {

const QString kRefusalCaption = QStringLiteral("Multiple Instance Error");
const QString kRefusalText =
    QStringLiteral("You have run another instance of this program already. Click it on the system tray to activite.");

struct ShownMessage {
  QString caption;
  QString text;
  MessageIcon icon;
  int windowsAtTheTime;
  QString applicationName;
  bool guardWasFree;
};

// Object names of the top-level windows in the order their captions were
// first set, which is the order of their creation.
QStringList& CreatedWindows() {
  static QStringList names;
  return names;
}

class CreationRecorder : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowTitleChange) {
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget && widget->isWindow() && !CreatedWindows().contains(widget->objectName())) {
        CreatedWindows().append(widget->objectName());
      }
    }
    return false;
  }
};

void InstallCreationRecorder() {
  static CreationRecorder recorder;
  qApp->installEventFilter(&recorder);
}
Q_COREAPP_STARTUP_FUNCTION(InstallCreationRecorder)

bool GuardIsFree() { return InstanceGuard("trellum").Held(); }

// Waits, sleeping between looks, until the process holds an flock on the file.
bool WaitForFlock(qint64 pid, const QString& path) {
  const QDeadlineTimer deadline(20000);
  while (!deadline.hasExpired()) {
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) == 0) {
      QFile locks(QStringLiteral("/proc/locks"));
      if (locks.open(QIODevice::ReadOnly)) {
        const QByteArray inode = ':' + QByteArray::number(quint64(info.st_ino));
        for (const QByteArray& line : locks.readAll().split('\n')) {
          const QList<QByteArray> fields = line.simplified().split(' ');
          if (fields.size() > 5 && fields[1] == "FLOCK" && fields[4] == QByteArray::number(pid) &&
              fields[5].endsWith(inode)) {
            return true;
          }
        }
      }
    }
    QThread::msleep(20);
  }
  return false;
}

class TrellumRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    runtime_ = folder_.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime_));
    ASSERT_TRUE(
        QFile::setPermissions(runtime_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    settingsPath_ = folder_.filePath(QStringLiteral("trellum.INI"));
    CreatedWindows().clear();
  }
  // The application name outlives each run's QApplication: the next test
  // starts with it as this one found it.
  void TearDown() override { QCoreApplication::setApplicationName(savedApplicationName_); }

  // One run of the program; `running` sees both windows before the loop starts.
  int Run(std::function<void(TForm1&, Taboutbox&)> running = {}, const QStringList& arguments = {}) {
    TrellumSetup setup;
    setup.messages.show = [this](const QString& caption, const QString& text, MessageIcon icon) {
      messages_.push_back({caption, text, icon, int(QApplication::topLevelWidgets().size()),
                           QCoreApplication::applicationName(), GuardIsFree()});
    };
    setup.formSetup = [this] {
      TForm1Setup form = TForm1Setup::Default();
      form.settingsPath = settingsPath_;
      return form;
    };
    setup.running = [this, running](TForm1& form, Taboutbox& about) {
      ++runningCalls_;
      if (running) {
        running(form, about);
      }
    };
    std::vector<QByteArray> words{"trellum"};
    for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int argc = int(words.size());
    return RunTrellum(argc, argv.data(), setup);
  }

  static void ExitSoon(TForm1& form) {
    QTimer::singleShot(0, &form, [&form] { form.Button2->click(); });
  }

  std::unique_ptr<QProcess> StartHolder() {
    auto holder = std::make_unique<QProcess>();
    holder->start(QStringLiteral(GUARD_HOLDER), {QStringLiteral("trellum")});
    EXPECT_TRUE(holder->waitForReadyRead(10000));
    EXPECT_EQ(holder->readLine().trimmed(), "held");
    return holder;
  }

  void ExpectOneRefusal() {
    ASSERT_EQ(messages_.size(), 1u);
    const ShownMessage& shown = messages_.front();
    EXPECT_EQ(shown.caption, kRefusalCaption);
    EXPECT_EQ(shown.text, kRefusalText);
    EXPECT_EQ(shown.icon, MessageIcon::Information);
    EXPECT_EQ(shown.windowsAtTheTime, 0);
    EXPECT_NE(shown.applicationName, QStringLiteral("Velmora")) << "title set before the guard";
    EXPECT_EQ(runningCalls_, 0);
    EXPECT_TRUE(CreatedWindows().isEmpty()) << CreatedWindows().join(u',').toStdString();
  }

  QByteArray Settings() const {
    QFile file(settingsPath_);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  const QString savedApplicationName_ = QCoreApplication::applicationName();
  QTemporaryDir folder_;
  QString runtime_;
  QString settingsPath_;
  std::vector<ShownMessage> messages_;
  int runningCalls_ = 0;
};

TEST_F(TrellumRunTest, FirstCopyRunsWithItsTitleHoldingTheGuardUntilTheLoopEnds) {
  QString applicationName;
  bool applicationIcon = false;
  QString caption;
  bool formShown = false;
  bool aboutHidden = false;
  bool guardFreeWhileRunning = true;
  const int exitCode = Run([&](TForm1& form, Taboutbox& about) {
    applicationName = QCoreApplication::applicationName();
    applicationIcon = QApplication::windowIcon().pixmap(32, 32).toImage() == ApplicationIcon().pixmap(32, 32).toImage();
    caption = form.windowTitle();
    formShown = form.isVisible();
    aboutHidden = !about.isVisible() && about.objectName() == QStringLiteral("aboutbox");
    guardFreeWhileRunning = GuardIsFree();
    ExitSoon(form);
  });

  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(runningCalls_, 1);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(applicationName, QStringLiteral("Velmora"));
  EXPECT_TRUE(applicationIcon);
  EXPECT_EQ(caption, QStringLiteral("Velmora"));
  EXPECT_TRUE(formShown);
  EXPECT_TRUE(aboutHidden);
  EXPECT_EQ(CreatedWindows(), (QStringList{QStringLiteral("Form1"), QStringLiteral("aboutbox")}));
  EXPECT_FALSE(guardFreeWhileRunning);
  EXPECT_TRUE(GuardIsFree());
  EXPECT_TRUE(Settings().contains("Port=0")) << Settings().toStdString();
}

TEST_F(TrellumRunTest, ExitAndTheCloseBoxBothEndTheRunAndANewCopyStartsAfterwards) {
  const std::vector<std::pair<const char*, std::function<void(TForm1&)>>> ways = {
      {"Exit", [](TForm1& form) { form.Button2->click(); }},
      {"close box", [](TForm1& form) { form.windowHandle()->close(); }},
  };
  int port = 2;
  for (const auto& [name, closeIt] : ways) {
    SCOPED_TRACE(name);
    const int exitCode = Run([&, closeIt = closeIt](TForm1& form, Taboutbox&) {
      form.comm1->setCurrentIndex(port);
      QTimer::singleShot(0, &form, [&form, closeIt] { closeIt(form); });
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Settings().contains("Port=" + QByteArray::number(port))) << Settings().toStdString();
    ++port;
  }
  EXPECT_EQ(runningCalls_, 2);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(TrellumRunTest, SecondCopyIsRefusedWithoutWindowsAndLeavesTheSettingsAlone) {
  auto holder = StartHolder();

  EXPECT_EQ(Run(), 0);
  ExpectOneRefusal();
  EXPECT_FALSE(QFileInfo::exists(settingsPath_)) << "a missing settings file is not created";

  const QByteArray stored = "[Settings]\r\nPort=3\r\n[Other]\r\nkey=value\r\n";
  {
    QFile file(settingsPath_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(stored);
  }
  const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-1);
  {
    QFile file(settingsPath_);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
  }
  messages_.clear();
  EXPECT_EQ(Run(), 0);
  ExpectOneRefusal();
  EXPECT_EQ(Settings(), stored);
  EXPECT_EQ(QFileInfo(settingsPath_).lastModified().toUTC(), past);

  EXPECT_EQ(holder->state(), QProcess::Running) << "the first copy is not affected";
  holder->closeWriteChannel();
  ASSERT_TRUE(holder->waitForFinished(10000));

  messages_.clear();
  EXPECT_EQ(Run([](TForm1& form, Taboutbox&) { ExitSoon(form); }), 0);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(runningCalls_, 1);
  EXPECT_TRUE(Settings().contains("[Other]\r\nkey=value")) << Settings().toStdString();
}

TEST_F(TrellumRunTest, DirectoryInPlaceOfTheGuardIsRefusedTheSameWay) {
  ASSERT_TRUE(QDir(runtime_).mkdir(QStringLiteral("trellum")));
  EXPECT_EQ(Run(), 0);
  ExpectOneRefusal();
  EXPECT_FALSE(QFileInfo::exists(settingsPath_));
}

// The installed program, copied to a folder of its own so that its settings
// file lies there, holds the guard until it is killed.
TEST_F(TrellumRunTest, ProgramKilledWhileRunningLeavesNoStaleGuard) {
  const QString program = folder_.filePath(QStringLiteral("bin/trellum"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(program).path()));
  ASSERT_TRUE(QFile::copy(QStringLiteral(TRELLUM_PROGRAM), program));
  QProcess first;
  first.setProcessChannelMode(QProcess::ForwardedChannels);
  first.start(program, {});
  ASSERT_TRUE(first.waitForStarted(10000));
  ASSERT_TRUE(WaitForFlock(first.processId(), runtime_ + QStringLiteral("/trellum")));

  EXPECT_EQ(Run(), 0);
  ExpectOneRefusal();

  first.kill();
  ASSERT_TRUE(first.waitForFinished(10000));
  EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
  EXPECT_FALSE(QFileInfo::exists(folder_.filePath(QStringLiteral("bin/trellum.INI"))));

  messages_.clear();
  EXPECT_EQ(Run([](TForm1& form, Taboutbox&) { ExitSoon(form); }), 0);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(runningCalls_, 1);
}

// A kill from a terminal or the end of the session closes the windows as the
// close box does: the settings file is written and the exit code is 0.
TEST_F(TrellumRunTest, TerminationSignalClosesTheProgramAsTheCloseBoxDoes) {
  const QString program = folder_.filePath(QStringLiteral("bin/trellum"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(program).path()));
  ASSERT_TRUE(QFile::copy(QStringLiteral(TRELLUM_PROGRAM), program));
  QFile settings(folder_.filePath(QStringLiteral("bin/trellum.INI")));
  ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
  settings.write("[Settings]\r\nPort=0x5\r\n");
  settings.close();
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(program, {});
    ASSERT_TRUE(run.waitForStarted(10000));
    ASSERT_TRUE(WaitForFlock(run.processId(), runtime_ + QStringLiteral("/trellum")));
    ASSERT_EQ(kill(pid_t(run.processId()), signal), 0);
    ASSERT_TRUE(run.waitForFinished(10000)) << "signal " << signal;
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit) << "signal " << signal;
    EXPECT_EQ(run.exitCode(), 0);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), QByteArray("[Settings]\r\nPort=5\r\n")) << "written at signal " << signal;
    settings.close();
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[Settings]\r\nPort=0x5\r\n");
    settings.close();
  }
}

// Beside the Debian package's marker the program keeps its settings in the
// user's folder, which the first write makes, and nothing beside itself.
TEST_F(TrellumRunTest, PackagedProgramReadsAndWritesItsSettingsInTheUsersFolder) {
  const QString program = folder_.filePath(QStringLiteral("lib/trellum/trellum"));
  ASSERT_TRUE(QDir().mkpath(QFileInfo(program).path()));
  ASSERT_TRUE(QFile::copy(QStringLiteral(TRELLUM_PROGRAM), program));
  QFile marker(folder_.filePath(QStringLiteral("lib/trellum/packaged")));
  ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  marker.close();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_.filePath(QStringLiteral("config")));
  QFile settings(folder_.filePath(QStringLiteral("config/trellum/trellum.INI")));
  const std::vector<std::pair<QByteArray, QByteArray>> runs = {
      {{}, "[Settings]\nPort=0\n"},
      {"[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Settings]\r\nPort=0x5\r\n",
       "[Ports]\r\nCOM1=/dev/ttyUSB0\r\n[Settings]\r\nPort=5\r\n"},
  };
  for (const auto& [before, after] : runs) {
    if (!before.isEmpty()) {
      ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
      settings.write(before);
      settings.close();
    }
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(program, {});
    ASSERT_TRUE(run.waitForStarted(10000));
    ASSERT_TRUE(WaitForFlock(run.processId(), runtime_ + QStringLiteral("/trellum")));
    ASSERT_EQ(kill(pid_t(run.processId()), SIGTERM), 0);
    ASSERT_TRUE(run.waitForFinished(10000));
    EXPECT_EQ(run.exitCode(), 0);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), after);
    settings.close();
  }
  EXPECT_EQ(QDir(QFileInfo(program).path()).entryList(QDir::Files), (QStringList{"packaged", "trellum"}));
}

TEST_F(TrellumRunTest, SettingsWriteFailureIsReportedAfterTheGuardIsFreeAndStillExitsWithZero) {
  ASSERT_TRUE(QDir(folder_.path()).mkdir(QStringLiteral("trellum.INI")));
  EXPECT_EQ(Run([](TForm1& form, Taboutbox&) { ExitSoon(form); }), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].caption, QStringLiteral("Velmora"));
  EXPECT_EQ(messages_[0].icon, MessageIcon::Error);
  EXPECT_TRUE(messages_[0].text.contains(settingsPath_)) << messages_[0].text.toStdString();
  EXPECT_TRUE(messages_[0].guardWasFree);
}

// --port maps and selects a port for one run: it wins over the "Ports"
// section, and the stored port is neither used nor overwritten; the next run
// without the option has the stored port again.
TEST_F(TrellumRunTest, PortOptionMapsAndSelectsItsPortForThisRunOnly) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const QString device = QString::fromLocal8Bit(ptsname(master));
  const QByteArray stored = "[Settings]\r\nPort=5\r\n[Ports]\r\nCOM3=/dev/nonexistent\r\n";
  {
    QFile file(settingsPath_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(stored);
  }
  int selected = -1;
  QString caption;
  const int exitCode = Run(
      [&](TForm1& form, Taboutbox&) {
        QTimer::singleShot(0, &form, [&] {
          selected = form.comm1->currentIndex();
          form.Button4->click();
          caption = form.Button4->text();
          form.comm1->setCurrentIndex(6);
          form.Button2->click();
        });
      },
      {QStringLiteral("--port"), QStringLiteral("COM3=") + device});
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(selected, 2);
  EXPECT_EQ(caption, QStringLiteral("Disconnect"));
  EXPECT_TRUE(messages_.empty()) << messages_.front().text.toStdString();
  char request[8] = {};
  EXPECT_GT(read(master, request, sizeof request), 0) << "the status request went to the given device";
  close(master);
  EXPECT_EQ(Settings(), stored);

  EXPECT_EQ(Run([&](TForm1& form, Taboutbox&) {
              selected = form.comm1->currentIndex();
              ExitSoon(form);
            }),
            0);
  EXPECT_EQ(selected, 5);
  EXPECT_TRUE(Settings().contains("Port=5\r\n[Ports]\r\nCOM3=/dev/nonexistent")) << Settings().toStdString();
}

TEST_F(TrellumRunTest, UnusablePortOptionEndsTheRunBeforeAnyWindow) {
  for (const char* mapping : {"COM9=/dev/ttyUSB0", "COM1", "COM1=", "=/dev/ttyUSB0", "com1=/dev/ttyUSB0"}) {
    SCOPED_TRACE(mapping);
    EXPECT_EQ(Run({}, {QStringLiteral("--port"), QString::fromLatin1(mapping)}), 2);
  }
  EXPECT_EQ(Run({}, {QStringLiteral("--port")}), 2);
  EXPECT_EQ(runningCalls_, 0);
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(QFileInfo::exists(settingsPath_));
}

TEST_F(TrellumRunTest, AboutButtonShowsTheAboutBoxModallyEachTime) {
  int showings = 0;
  bool allModalAndWrapped = true;
  const int exitCode = Run([&](TForm1& form, Taboutbox& about) {
    QTimer::singleShot(0, &form, [&] {
      for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, &about, [&] {
          ++showings;
          allModalAndWrapped = allModalAndWrapped && about.isVisible() && QApplication::activeModalWidget() == &about &&
                               about.RichEdit1->lineWrapMode() == QTextEdit::WidgetWidth;
          about.Button1->click();
        });
        form.Button1->click();
        allModalAndWrapped = allModalAndWrapped && !about.isVisible();
      }
      form.Button2->click();
    });
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(showings, 2);
  EXPECT_TRUE(allModalAndWrapped);
}

}  // namespace
