#pragma once

#include "Failure.h"
#include "Wire.h"

#include <deque>
#include <string>

namespace vreader {

// The reader's end of the serial line: the master of a new pseudo-terminal
// (whose slave path the program prints) or a given serial device. Writes are
// queued and go out as the line accepts them, so a peer that does not read
// never blocks the reader. With a link, the link names the line while it is
// open.
class Line {
 public:
  Line(std::string device, int baud, std::string link);
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  void open();
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool isPty() const { return device_.empty(); }

  void queue(const Bytes& bytes);
  bool wantsWrite() const { return !out_.empty(); }
  // Writes what the line accepts; returns the bytes written (one burst).
  Bytes flush();
  // Returns what arrived; an empty result with the line closed means it hung up.
  Bytes read();
  // Bytes sent but not yet taken by the peer (pseudo-terminal only).
  int unread() const;
  // The speed the peer set on a pseudo-terminal; --baud on a device.
  unsigned speed() const;

 private:
  void updateLink();

  std::string device_;
  int baud_;
  std::string link_;
  std::string path_;
  int fd_ = -1;
  int slave_ = -1;
  std::deque<std::uint8_t> out_;
};

}  // namespace vreader
