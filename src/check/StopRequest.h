#pragma once

#include <QObject>

#include <functional>

// Ctrl+C and the other requests to end a console program, turned into a call
// on the thread that made this object, from its event loop: a run stops
// where it waits and still puts the reader back as it was. SIGINT, SIGTERM
// and SIGHUP on POSIX (read from a signalfd, so they must be made before any
// other thread); the console's control events on Windows. The platform's
// default handling comes back when the object goes.
class StopRequest : public QObject {
 public:
  explicit StopRequest(std::function<void()> onStop);
  ~StopRequest() override;
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

 private:
  struct Native;
  std::function<void()> onStop_;
  Native* native_ = nullptr;
};
