#include <QProcess>
#include <stdexcept>

#include "ReaderChannel.h"

namespace {

class ProcessReaderChannel final : public ReaderChannel {
 public:
  explicit ProcessReaderChannel(const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(TRELLUM_READER_PATH, arguments);
    if (!process_.waitForStarted(10000)) throw std::runtime_error("trellum-reader did not start");
  }
  ~ProcessReaderChannel() override { Finish(); }

  void WhenOutput(QObject* context, std::function<void()> handler) override {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, context ? context : &process_,
                     std::move(handler));
  }
  QByteArray TakeOutput() override { return process_.readAllStandardOutput(); }
  void Write(const QByteArray& line) override {
    if (process_.write(line) != line.size()) throw std::runtime_error("control channel closed");
    process_.waitForBytesWritten(5000);
  }
  int Finish() override {
    if (process_.state() == QProcess::NotRunning) return process_.exitCode();
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000)) {
      process_.kill();
      process_.waitForFinished(5000);
      return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

 private:
  QProcess process_;
};

}  // namespace

LastingLine LastingLineAt(const QString& link) { return {{"--link", link}, link}; }

std::unique_ptr<ReaderChannel> StartReaderChannel(const QStringList& arguments) {
  return std::make_unique<ProcessReaderChannel>(arguments);
}
