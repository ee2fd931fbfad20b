#include "Win32Device.h"

namespace serialdev {

namespace {

// How long a stopped event wait may take to end after its cancel.
constexpr DWORD kCancelWaitMs = 1000;

int Code(DWORD error) { return static_cast<int>(error); }

}  // namespace

Win32Device::Win32Device() {
  stop_ = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  wait_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!stop_ || !wait_.hEvent) setupError_ = Code(::GetLastError());
}

Win32Device::~Win32Device() {
  Close();
  if (stop_) ::CloseHandle(stop_);
  if (wait_.hEvent) ::CloseHandle(wait_.hEvent);
}

int Win32Device::Open(const std::string& path) {
  if (setupError_ != 0) return setupError_;
  if (handle_ != INVALID_HANDLE_VALUE) return Code(ERROR_BUSY);
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Code(::GetLastError());
  handle_ = handle;
  removed_ = false;
  removalCode_ = 0;
  mask_ = 0;
  txReport_ = false;
  return 0;
}

void Win32Device::Close() {
  released_ = false;
  if (handle_ == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
  // Closing the handle ends a wait left pending.
  if (waitPending_) ::WaitForSingleObject(wait_.hEvent, kCancelWaitMs);
  waitPending_ = false;
}

bool Win32Device::IsOpen() const { return handle_ != INVALID_HANDLE_VALUE || released_; }

bool Win32Device::Removed() const { return removed_; }

void Win32Device::ReleaseRemoved() {
  if (!removed_ || released_) return;
  Close();
  released_ = true;
}

int Win32Device::Fail(DWORD code) {
  if (code != ERROR_OPERATION_ABORTED && code != ERROR_IO_PENDING && !removed_) {
    DWORD errors = 0;
    COMSTAT status{};
    DWORD modem = 0;
    if (!::ClearCommError(handle_, &errors, &status) || !::GetCommModemStatus(handle_, &modem)) {
      int none = 0;
      removalCode_.compare_exchange_strong(none, Code(code));
      removed_ = true;
    }
  }
  return Code(code);
}

int Win32Device::SetState(const ControlBlock& c) {
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = c.BaudRate;
  dcb.fBinary = TRUE;
  dcb.fParity = c.fParity;
  dcb.fOutxCtsFlow = c.fOutxCtsFlow;
  dcb.fOutxDsrFlow = c.fOutxDsrFlow;
  dcb.fDtrControl = c.fDtrControl;
  dcb.fDsrSensitivity = c.fDsrSensitivity;
  dcb.fTXContinueOnXoff = c.fTXContinueOnXoff;
  dcb.fOutX = c.fOutX;
  dcb.fInX = c.fInX;
  dcb.fErrorChar = c.fErrorChar;
  dcb.fNull = c.fNull;
  dcb.fRtsControl = c.fRtsControl;
  dcb.XonLim = c.XonLim;
  dcb.XoffLim = c.XoffLim;
  dcb.ByteSize = c.ByteSize;
  dcb.Parity = c.Parity;
  dcb.StopBits = c.StopBits;
  dcb.XonChar = c.XonChar;
  dcb.XoffChar = c.XoffChar;
  dcb.ErrorChar = c.ErrorChar;
  dcb.EvtChar = c.EvtChar;
  return ::SetCommState(handle_, &dcb) ? 0 : Fail(::GetLastError());
}

int Win32Device::SetTimeouts(const Timeouts& t) {
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  COMMTIMEOUTS timeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                        t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
  return ::SetCommTimeouts(handle_, &timeouts) ? 0 : Fail(::GetLastError());
}

int Win32Device::SetQueueSizes(int input, int output) {
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  if (input < 0 || output < 0) return Code(ERROR_INVALID_PARAMETER);
  return ::SetupComm(handle_, static_cast<DWORD>(input), static_cast<DWORD>(output)) ? 0 : Fail(::GetLastError());
}

template <typename Start>
int Win32Device::Overlapped(Start start, DWORD& moved) {
  moved = 0;
  OVERLAPPED overlapped{};
  overlapped.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!overlapped.hEvent) return Code(::GetLastError());
  int code = 0;
  if (!start(overlapped) && ::GetLastError() != ERROR_IO_PENDING) {
    code = Fail(::GetLastError());
  } else if (!::GetOverlappedResult(handle_, &overlapped, &moved, TRUE)) {
    code = Fail(::GetLastError());
  }
  ::CloseHandle(overlapped.hEvent);
  return code;
}

int Win32Device::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  if (count == 0) return 0;
  if (mask_ & EV_TXEMPTY) {
    txReport_ = true;
    ApplyMask();
  }
  DWORD moved = 0;
  const int code = Overlapped(
      [&](OVERLAPPED& o) { return ::WriteFile(handle_, data, static_cast<DWORD>(count), nullptr, &o); }, moved);
  written = moved;
  return code;
}

int Win32Device::Read(uint8_t* buffer, size_t count, size_t& read) {
  read = 0;
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  if (count == 0) return 0;
  DWORD moved = 0;
  const int code = Overlapped(
      [&](OVERLAPPED& o) { return ::ReadFile(handle_, buffer, static_cast<DWORD>(count), nullptr, &o); }, moved);
  read = moved;
  return code;
}

int Win32Device::Purge(uint32_t flags) {
  if (removed_ && IsOpen()) return 0;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  return ::PurgeComm(handle_, flags) ? 0 : Fail(::GetLastError());
}

int Win32Device::SetRts(bool on) {
  if (removed_ && IsOpen()) return 0;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  return ::EscapeCommFunction(handle_, on ? SETRTS : CLRRTS) ? 0 : Fail(::GetLastError());
}

int Win32Device::GetModemStatus(uint32_t& modemBits) {
  modemBits = 0;
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  DWORD status = 0;
  if (!::GetCommModemStatus(handle_, &status)) return Fail(::GetLastError());
  modemBits = status;
  return 0;
}

int Win32Device::ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) {
  errorFlags = 0;
  inputQueue = 0;
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(handle_, &errors, &status)) return Fail(::GetLastError());
  errorFlags = errors;
  inputQueue = status.cbInQue;
  return 0;
}

int Win32Device::ApplyMask() {
  std::lock_guard lock(maskMutex_);
  const uint32_t mask = txReport_ ? mask_.load() : mask_ & ~uint32_t{EV_TXEMPTY};
  return ::SetCommMask(handle_, mask) ? 0 : Fail(::GetLastError());
}

int Win32Device::SetEventMask(uint32_t mask) {
  if (removed_ && IsOpen()) return 0;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  mask_ = mask;
  return ApplyMask();
}

void Win32Device::BeginEventWaits() { ::ResetEvent(stop_); }

void Win32Device::StopEventWaits() { ::SetEvent(stop_); }

int Win32Device::WaitEvent(uint32_t& occurred) {
  occurred = 0;
  if (removed_ && IsOpen()) return removalCode_;
  if (handle_ == INVALID_HANDLE_VALUE) return Code(ERROR_INVALID_HANDLE);
  if (!wait_.hEvent) return setupError_;
  while (occurred == 0) {
    if (removed_) return removalCode_;
    if (::WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return kWaitStopped;
    if (!waitPending_) {
      waitEvents_ = 0;
      ::ResetEvent(wait_.hEvent);
      if (::WaitCommEvent(handle_, &waitEvents_, &wait_)) {
        waitPending_ = false;
      } else if (::GetLastError() == ERROR_IO_PENDING) {
        waitPending_ = true;
      } else {
        return Fail(::GetLastError());
      }
    }
    if (waitPending_) {
      const HANDLE objects[] = {wait_.hEvent, stop_};
      if (::WaitForMultipleObjects(2, objects, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // Stopped: end the pending wait. A cancel that does not complete it
        // (Wine's, once a second handle of the port has been closed) leaves
        // it pending on the device's own record, which the next wait or the
        // closing of the handle takes over.
        ::CancelIoEx(handle_, &wait_);
        if (::WaitForSingleObject(wait_.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) waitPending_ = false;
        return kWaitStopped;
      }
      DWORD moved = 0;
      if (!::GetOverlappedResult(handle_, &wait_, &moved, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE) {
          // The event came before the wait's result (seen under Wine on a
          // busy machine, while writes change the mask): the wait goes on.
          // Its completion may have come between the look and the reset.
          ::ResetEvent(wait_.hEvent);
          if (HasOverlappedIoCompleted(&wait_)) ::SetEvent(wait_.hEvent);
          continue;
        }
        waitPending_ = false;
        const int code = Fail(error);
        // A mask change or a cancel ends a wait on a sound device with an
        // abort; anything else is reported.
        if (error == ERROR_OPERATION_ABORTED && !removed_) continue;
        return code;
      }
      waitPending_ = false;
    }
    if ((waitEvents_ & EV_TXEMPTY) && txReport_.exchange(false)) ApplyMask();
    occurred = waitEvents_ & mask_;
  }
  return 0;
}

}  // namespace serialdev
