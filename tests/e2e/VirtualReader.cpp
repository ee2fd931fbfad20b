#include "VirtualReader.h"

#include <QEventLoop>
#include <QTimer>
#include <stdexcept>

VirtualReader::VirtualReader(const QStringList& arguments)
    : channel_(StartReaderChannel(QStringList{"--quit-on-eof"} + arguments)) {
  channel_->WhenOutput(nullptr, [this] { Collect(); });
  const QString line = Next("device ");
  if (line.isEmpty()) throw std::runtime_error("trellum-reader printed no device");
  device_ = line.mid(7);
}

VirtualReader::~VirtualReader() { Finish(); }

void VirtualReader::Collect() const {
  pending_ += channel_->TakeOutput();
  for (qsizetype end; (end = pending_.indexOf('\n')) >= 0; pending_.remove(0, end + 1))
    lines_.append(QString::fromUtf8(pending_.left(end)));
}

void VirtualReader::Control(const QString& line) { channel_->Write(line.toUtf8() + '\n'); }

bool VirtualReader::Await(const std::function<bool()>& done, int timeoutMs) {
  Collect();
  if (done()) return true;
  // Woken by the reader's output, and now and then for conditions on the window.
  QEventLoop loop;
  const auto check = [&] {
    Collect();
    if (done()) loop.quit();
  };
  channel_->WhenOutput(&loop, check);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, check);
  poll.start(20);
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  loop.exec();
  return done();
}

QString VirtualReader::Next(const QString& prefix, int timeoutMs) {
  QString found;
  Await(
      [&] {
        if (!found.isEmpty()) return true;
        for (; cursor_ < lines_.size(); ++cursor_) {
          if (lines_[cursor_].startsWith(prefix)) {
            found = lines_[cursor_++];
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return found;
}

QStringList VirtualReader::Since(int from, const QString& prefix) const {
  Collect();
  QStringList out;
  for (int i = from; i < lines_.size(); ++i)
    if (lines_[i].startsWith(prefix)) out.append(lines_[i]);
  return out;
}

bool VirtualReader::AwaitCount(int from, const QString& prefix, int count, int timeoutMs) {
  return Await([&] { return Since(from, prefix).size() >= count; }, timeoutMs);
}

void VirtualReader::Forget() {
  Collect();
  lines_.clear();
  cursor_ = 0;
}

QString VirtualReader::State(const QString& id) {
  Control(id == "-" ? QString("state") : "@" + id + " state");
  return Next("state " + id + " ");
}

int VirtualReader::Finish() {
  const int code = channel_->Finish();
  Collect();
  return code;
}
