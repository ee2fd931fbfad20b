#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <vector>

#include "MainWindow.h"
#include "OperatorMessages.h"
#include "VirtualReader.h"

// The real main window, offscreen, with a settings file of its own whose
// COM1 names the virtual reader's pseudo-terminal. Message boxes and beeps
// are recorded instead of shown.
class SessionFixture : public ::testing::Test {
 protected:
  SessionFixture();
  ~SessionFixture() override;

  // Starts the virtual reader (with a transcript in the test's folder) and
  // points COM1 at it.
  VirtualReader& StartReader(QStringList arguments);
  // Makes COM1, the selected entry, name this device.
  void PointCom1At(const QString& device);
  QString TranscriptPath() const { return dir_.filePath("transcript.txt"); }

  // A window's setup: the settings file in the test's folder, message boxes
  // and beeps recorded.
  TForm1Setup WindowSetup();
  TForm1& Form();
  // Ends the window as closing it would; the next Form() makes a new one.
  void DestroyForm();
  void Connect();
  void Disconnect();
  enum class AutoBeep { On, Off };
  // Starts the reader, chooses the model (0 to 2), connects and waits until
  // the line has gone quiet: how most sessions begin.
  void ConnectToReader(const QStringList& readerArguments, int model = 0, AutoBeep beep = AutoBeep::On);

  QStringList Log() const;
  // The log's lines that start with the prefix.
  int LogCount(const QString& prefix) const;
  // Waits until the log holds at least this many lines.
  bool AwaitLogSize(int lines, int timeoutMs = 10000);
  // Waits until the decoder is idle (no frame open, inter-byte timer stopped)
  // and neither the log nor the reader's output has changed for `quietMs`.
  void Settle(int quietMs = 300);
  // Waits for exactly these lines after the first `from` lines of the log.
  void ExpectLogFrom(int from, const QStringList& expected);

  // The commands the reader received from output line `from` on, as
  // "ID TEXT" (ID "-" outside ID mode).
  QStringList CommandsSince(int from) const;

  struct Box {
    QString caption;
    QString text;
  };
  std::vector<Box> boxes;
  int beeps = 0;
  // The window's reconnect, set before the window is made.
  bool reconnect = false;
  std::unique_ptr<VirtualReader> reader;

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TForm1> form_;
};

// Lets test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// The event response with "Control Lock" checked, addressed to one reader.
QStringList EventResponse(const QString& id = "-");
