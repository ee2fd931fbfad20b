#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ReaderChannel.h"

// trellum-reader with its control channel and its output collected line by
// line while the event loop runs, so the window under test keeps working
// during every wait.
class VirtualReader {
 public:
  // Starts the reader with these arguments and waits for its device line.
  explicit VirtualReader(const QStringList& arguments);
  ~VirtualReader();
  VirtualReader(const VirtualReader&) = delete;
  VirtualReader& operator=(const VirtualReader&) = delete;

  QString Device() const { return device_; }
  void Control(const QString& line);

  // Every output line so far. Output is collected whenever the reader
  // prints (where its channel tells) and whenever these are asked.
  const QStringList& Lines() const {
    Collect();
    return lines_;
  }
  // Waits for the next line starting with the prefix after the last one
  // taken this way; empty when none comes within the time.
  QString Next(const QString& prefix, int timeoutMs = 10000);
  // Output lines from index `from` on that start with the prefix.
  QStringList Since(int from, const QString& prefix) const;
  // Waits until `count` lines from index `from` on start with the prefix.
  bool AwaitCount(int from, const QString& prefix, int count, int timeoutMs = 10000);
  // Runs the event loop until the condition holds or the time is up; the
  // condition is checked whenever the reader prints, and every 20 ms.
  bool Await(const std::function<bool()>& done, int timeoutMs = 10000);
  // Drops the output collected so far; indices passed to Since and
  // AwaitCount count from here on.
  void Forget();
  // Asks for the state of a reader ("-" or its ID) and returns the line.
  QString State(const QString& id = "-");

  // Closes the control channel and waits for the reader to end.
  int Finish();

 private:
  void Collect() const;

  std::unique_ptr<ReaderChannel> channel_;
  mutable QByteArray pending_;
  mutable QStringList lines_;
  int cursor_ = 0;
  QString device_;
};
