#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The far end of the line a port under test is opened on, and what the
// platform lets a test see of it. On Linux it is the master side of a
// pseudo-terminal held by the test itself; under Wine the harness holds it
// and the test drives it through its standard streams.
class HostLine {
 public:
  virtual ~HostLine() = default;
  // The name to give the component's Port.
  virtual std::string PortName() const = 0;
  // A port name that denotes no device.
  virtual std::string MissingPortName() const = 0;
  virtual void Write(const std::string& bytes) = 0;
  // Up to count bytes, waiting at most limitMs for them.
  virtual std::string Read(size_t count, int limitMs) = 0;
  // The speed in bit/s that the port has set on the line.
  virtual uint32_t LineSpeed() = 0;
  // Ends the line as an unplugged adapter does.
  virtual void HangUp() = 0;
  // The RTS changes seen on the line so far ("SETRTS", "CLRRTS"), or nothing
  // where the line cannot show RTS.
  virtual std::optional<std::vector<std::string>> RtsChanges() = 0;
  // A second component can open the port while the first holds it (Wine does
  // not enforce share mode 0 on COM ports).
  virtual bool SharesOpenPorts() const = 0;
};

std::unique_ptr<HostLine> MakeHostLine();

// CPU time this process has used, in milliseconds.
int64_t ProcessCpuMilliseconds();
