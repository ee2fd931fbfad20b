#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "MainWindow.h"
#include "OperatorMessages.h"
#include "VirtualReader.h"

// The process's CPU time so far, user and system, in seconds.
double CpuSeconds();
// Prints what went wrong and ends the benchmark.
[[noreturn]] void Fail(const char* what);
// Message boxes and beeps of a window under a benchmark: each box is printed
// and counted, since a run that shows one has failed.
OperatorMessages CountedMessages(int& boxes);

// The main window connected over COM1 to a virtual reader, in a folder of
// the benchmark's.
class Bench {
 public:
  // Turns the reader's device into what COM1 names (the device itself when
  // empty): a server in front of it, for example.
  using PortOf = std::function<QString(const QString& device)>;

  Bench(const QTemporaryDir& dir, OperatorMessages messages) : dir_(dir), messages_(std::move(messages)) {}

  // Starts a reader and a window connected to it over COM1.
  void Start(const QStringList& readerArguments, bool ascii, const PortOf& portOf = {});
  void Stop();

  VirtualReader& Reader() { return *reader_; }
  TForm1& Form() { return *form_; }
  // The thread that Connect started (the component's event thread).
  const QString& EventThread() const { return eventThread_; }

 private:
  const QTemporaryDir& dir_;
  OperatorMessages messages_;
  std::unique_ptr<VirtualReader> reader_;
  std::unique_ptr<TForm1> form_;
  QString eventThread_;
};

// The event response of a run: from the last byte of each card frame to the
// first byte of its response as the reader's transcript saw them, and the
// CPU of this process (the window) per frame.
struct Responses {
  std::vector<double> ms;
  double cpuMsPerFrame = 0;
  double Median() const;
  double P99() const;
};

// Connects, asks the reader for `frames` cards one after another and prints
// the figures under the title.
Responses ResponseAndCpu(Bench& bench, const QTemporaryDir& dir, int frames, const QString& title,
                         const Bench::PortOf& portOf = {});
