#include <stdexcept>

#include "HarnessRequest.h"
#include "ReaderChannel.h"

namespace {

// The reader on the host, started and relayed by the Wine harness, which
// points COM1 at the reader's line and announces it as the device "\\.\COM1".
class HarnessReaderChannel final : public ReaderChannel {
 public:
  explicit HarnessReaderChannel(const QStringList& arguments) {
    HarnessExpect("reader-start " + arguments.join('\t').toStdString(), "ok");
  }
  ~HarnessReaderChannel() override { Finish(); }

  void WhenOutput(QObject*, std::function<void()>) override {}
  QByteArray TakeOutput() override {
    return QByteArray::fromHex(QByteArray::fromStdString(HarnessField(HarnessRequest("reader-out"), "out")));
  }
  void Write(const QByteArray& line) override { HarnessExpect("reader-in " + line.toHex().toStdString(), "ok"); }
  int Finish() override {
    if (!finished_) {
      finished_ = true;
      code_ = std::stoi(HarnessField(HarnessRequest("reader-end"), "end"));
    }
    return code_;
  }

 private:
  bool finished_ = false;
  int code_ = -1;
};

}  // namespace

LastingLine LastingLineAt(const QString&) { return {{}, "\\\\.\\COM1"}; }

std::unique_ptr<ReaderChannel> StartReaderChannel(const QStringList& arguments) {
  return std::make_unique<HarnessReaderChannel>(arguments);
}
