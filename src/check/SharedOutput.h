#pragma once

#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

// One stream (standard error, standard output) that the threads of several
// lines write to: each text is handed over whole, under a lock, so that the
// lines of two threads never mix.
class SharedOutput {
 public:
  explicit SharedOutput(std::ostream& out) : out_(out) {}
  void Write(const std::string& text);

 private:
  std::ostream& out_;
  std::mutex mutex_;
};

// A stream of one line's thread into a SharedOutput: each line of text goes
// over whole, behind the prefix (empty: as written), once its end is written.
class LineWriter : public std::ostream {
 public:
  explicit LineWriter(SharedOutput& sink, std::string prefix = {});
  ~LineWriter() override;
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // The prefix of the lines from here on ("/dev/ttyUSB0 ID 5: ").
  void SetPrefix(std::string prefix);

 private:
  class Buffer : public std::streambuf {
   public:
    Buffer(SharedOutput& sink, std::string prefix) : sink_(sink), prefix_(std::move(prefix)) {}
    void SetPrefix(std::string prefix) { prefix_ = std::move(prefix); }
    void Flush();

   protected:
    int_type overflow(int_type c) override;

   private:
    SharedOutput& sink_;
    std::string prefix_;
    std::string pending_;
  };
  Buffer buffer_;
};
