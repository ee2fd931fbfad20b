#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// What the serial port component asks of an operating system's serial device.
// Every call maps onto one call of the Windows communications API (named in
// each comment), so that a kernel32 implementation is a plain wrap; the POSIX
// implementation emulates each one with termios and ioctl.
//
// Calls return a system error code: 0 for success, otherwise the code the
// component puts into its error as SystemCode (errno on POSIX, GetLastError()
// on Windows). Calls other than Open on a device that is not open fail with
// EBADF (ERROR_INVALID_HANDLE).

namespace serialdev {

// Device control block: the line settings of SetCommState.
struct ControlBlock {
  uint32_t BaudRate = 9600;
  bool fParity = false;
  bool fOutxCtsFlow = false;
  bool fOutxDsrFlow = false;
  uint8_t fDtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;
  bool fInX = false;
  bool fErrorChar = false;
  bool fNull = false;
  uint8_t fRtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 8;  // 5..8
  uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  char XonChar = 17;
  char XoffChar = 19;
  char ErrorChar = 0;
  char EvtChar = 0;
};

// COMMTIMEOUTS: milliseconds; kMaxDword stands for MAXDWORD.
constexpr uint32_t kMaxDword = 0xFFFFFFFFu;
struct Timeouts {
  uint32_t ReadIntervalTimeout = kMaxDword;
  uint32_t ReadTotalTimeoutMultiplier = 0;
  uint32_t ReadTotalTimeoutConstant = 0;
  uint32_t WriteTotalTimeoutMultiplier = 100;
  uint32_t WriteTotalTimeoutConstant = 1000;
};

// Event mask bits of SetCommMask / WaitCommEvent.
enum EventBit : uint32_t {
  EV_RXCHAR = 0x1,
  EV_RXFLAG = 0x2,
  EV_TXEMPTY = 0x4,
  EV_CTS = 0x8,
  EV_DSR = 0x10,
  EV_RLSD = 0x20,
  EV_BREAK = 0x40,
  EV_ERR = 0x80,
  EV_RING = 0x100,
  EV_RX80FULL = 0x400,
};

// Error flags of ClearCommError.
enum ErrorFlag : uint32_t {
  CE_RXOVER = 0x1,
  CE_OVERRUN = 0x2,
  CE_RXPARITY = 0x4,
  CE_FRAME = 0x8,
  CE_BREAK = 0x10,
  CE_TXFULL = 0x100,
  CE_IOE = 0x400,
  CE_MODE = 0x8000,
};

// Modem status bits of GetCommModemStatus.
enum ModemBit : uint32_t { MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80 };

// PurgeComm flags.
enum PurgeFlag : uint32_t { PURGE_TXABORT = 0x1, PURGE_RXABORT = 0x2, PURGE_TXCLEAR = 0x4, PURGE_RXCLEAR = 0x8 };

// Returned by WaitEvent when StopEventWaits ended the wait (WAIT_OBJECT_0 of the stop event).
constexpr int kWaitStopped = -1;

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // CreateFile(GENERIC_READ|GENERIC_WRITE, share 0, OPEN_EXISTING, overlapped):
  // opens the device at an operating-system path exclusively.
  virtual int Open(const std::string& path) = 0;
  // CloseHandle. Always succeeds; closing a closed device does nothing.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  virtual int SetState(const ControlBlock& dcb) = 0;      // SetCommState
  virtual int SetTimeouts(const Timeouts& timeouts) = 0;  // SetCommTimeouts
  virtual int SetQueueSizes(int input, int output) = 0;   // SetupComm

  // WriteFile then GetOverlappedResult(wait): returns once the bytes have left
  // the port, or at the write total time-out with the count that left (the
  // unsent rest is discarded). A purge with PURGE_TXABORT from another thread
  // ends it with ECANCELED (ERROR_OPERATION_ABORTED).
  virtual int Write(const uint8_t* data, size_t count, size_t& written) = 0;
  // ReadFile then GetOverlappedResult(wait), bounded by the read time-outs;
  // with ReadIntervalTimeout MAXDWORD and zero totals it returns at once with
  // what is queued, possibly nothing. PURGE_RXABORT ends it with ECANCELED.
  virtual int Read(uint8_t* buffer, size_t count, size_t& read) = 0;

  virtual int Purge(uint32_t flags) = 0;                // PurgeComm
  virtual int SetRts(bool on) = 0;                      // EscapeCommFunction(SETRTS / CLRRTS)
  virtual int GetModemStatus(uint32_t& modemBits) = 0;  // GetCommModemStatus
  // ClearCommError: the error flags collected since the last call (then
  // cleared) and the number of bytes in the input queue.
  virtual int ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) = 0;

  virtual int SetEventMask(uint32_t mask) = 0;  // SetCommMask
  // WaitCommEvent with WaitForMultipleObjects on it and a stop event: blocks
  // until an event of the mask occurs (0, with the events in occurred),
  // StopEventWaits is called (kWaitStopped), or the device goes away (the
  // removal's error code, such as EIO; Removed() is then true and later waits
  // fail at once with it). Only one thread waits at a time.
  virtual int WaitEvent(uint32_t& occurred) = 0;
  // Arms the stop event (ResetEvent); called before an event thread starts.
  virtual void BeginEventWaits() = 0;
  // Sets the stop event (SetEvent), from any thread; it stays set, so a wait
  // that begins afterwards returns kWaitStopped at once.
  virtual void StopEventWaits() = 0;

  // True once the device has gone away (USB adapter unplugged, the other end
  // of a pseudo-terminal closed). Reads and writes then fail with the code that
  // told of the removal; SetRts, Purge and Close succeed without touching it.
  virtual bool Removed() const = 0;
  // After a removal (Removed() true), lets go of the device at once instead
  // of at Close (CloseHandle on Windows), so that the system can give the
  // returning device its old name. The device stays open in name: calls keep
  // answering as after the removal, without touching anything, and Close is
  // still needed. Does nothing before a removal or when called again.
  virtual void ReleaseRemoved() = 0;
};

// Turns a port name ("COM1") into what Open takes (a device path or a
// network name, see PortNames), or nothing when the name denotes no device
// (the component then fails as for a missing device).
using PortResolver = std::function<std::optional<std::string>(const std::string& port)>;
// Makes the device object for one open of a resolved port.
using DeviceFactory = std::function<std::unique_ptr<SerialDevice>(const std::string& target)>;

// This platform's serial device and its default names.
std::unique_ptr<SerialDevice> CreatePlatformDevice();
// The device that opens a resolved port: the network device for a network
// name, this platform's serial device for anything else.
std::unique_ptr<SerialDevice> CreateDevice(const std::string& target);
std::optional<std::string> DefaultDevicePath(const std::string& port);

}  // namespace serialdev
