#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>
#include <memory>

class QObject;

// The virtual reader's standard streams as the tests use them: its control
// channel in, its announcements out. On Linux the reader is a child process;
// under Wine it runs on the host, started and relayed by the test harness,
// which also points COM1 at its line.
class ReaderChannel {
 public:
  virtual ~ReaderChannel() = default;

  // Calls the handler when output may have come, as long as the context
  // lives (or the channel, without one); a channel without such a signal is
  // polled through TakeOutput alone.
  virtual void WhenOutput(QObject* context, std::function<void()> handler) = 0;
  // What the reader printed since the last call.
  virtual QByteArray TakeOutput() = 0;
  // One line to the control channel; throws when it is closed.
  virtual void Write(const QByteArray& line) = 0;
  // Closes the control channel and waits for the reader to end: its exit
  // code, or -1 when it crashed or had to be killed.
  virtual int Finish() = 0;
};

// The reader's line under a name that outlives "hangup" and "reopen" (a
// pseudo-terminal gets a new path at each open): the reader's arguments that
// keep it, and the device to open. On Linux a link the reader keeps at
// `link`; under Wine the harness's COM1, which is such a link already.
struct LastingLine {
  QStringList arguments;
  QString device;
};
LastingLine LastingLineAt(const QString& link);

// Starts trellum-reader with these arguments.
std::unique_ptr<ReaderChannel> StartReaderChannel(const QStringList& arguments);
