#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A pseudo-terminal opened by a test: the device under test opens the slave
// by its path, the test plays the far end on the master.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  // The test's own descriptor of the slave, for reading settings back.
  int SlaveFd() const { return slave_; }
  int MasterFd() const { return master_; }

  void PeerWrite(const std::vector<uint8_t>& bytes);
  // Reads what the device sent until `count` bytes came or `limit` passed.
  std::vector<uint8_t> PeerRead(size_t count, std::chrono::milliseconds limit);
  // Waits until the slave has input queued, without consuming it.
  bool WaitSlaveReadable(std::chrono::milliseconds limit);
  // Hangs the slave up, as an unplugged adapter would.
  void ClosePeer();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Number of descriptors this process holds.
int OpenDescriptorCount();
// Number of descriptors this process holds on the device that fd is open on.
int DescriptorsOnDeviceOf(int fd);
// CPU time this process has used.
std::chrono::nanoseconds ProcessCpuTime();
