#include "Station.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QThread>

#include <algorithm>
#include <exception>

Station::Station(std::size_t lines) : lines_(lines) {}

Station::~Station() = default;

void Station::Run(const Job& job) {
  // Each job's end is handed over under this mutex as well as through Qt's
  // own signal, so that the thread sanitizer sees its results made before
  // they are read.
  std::mutex mutex;
  std::exception_ptr failure;
  std::size_t running = lines_;
  QEventLoop loop;
  for (std::size_t line = 0; line < lines_; ++line) {
    threads_.emplace_back(QThread::create([&, line] {
      QAbstractEventDispatcher* const loop = QAbstractEventDispatcher::instance();
      {
        std::lock_guard lock(mutex_);
        loops_.push_back(loop);
      }
      std::exception_ptr error;
      try {
        job(line, stop_);
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        std::erase(loops_, loop);
      }
      std::lock_guard lock(mutex);
      if (error && !failure) failure = error;
    }));
    QObject::connect(threads_.back().get(), &QThread::finished, &loop, [&] {
      std::lock_guard lock(mutex);
      if (--running == 0) loop.quit();
    });
  }
  for (const auto& thread : threads_) thread->start();
  if (lines_ > 0) loop.exec();
  for (const auto& thread : threads_) thread->wait();
  threads_.clear();
  std::lock_guard lock(mutex);
  if (failure) std::rethrow_exception(failure);
}

void Station::RequestStop() {
  stop_ = true;
  std::lock_guard lock(mutex_);
  for (QAbstractEventDispatcher* loop : loops_) loop->wakeUp();
}
