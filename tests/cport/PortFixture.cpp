#include "PortFixture.h"

#include <chrono>

#include "FakeSerialDevice.h"

PortFixture::PortFixture() : port(std::make_unique<TComPort>(handOff)) {
  port->SetDeviceFactory(FakeSerialDevice::Factory(line));
  port->SetPortResolver([](const std::string& name) -> std::optional<std::string> {
    if (name.rfind("COM", 0) != 0) return std::nullopt;
    return "/dev/fake" + name;
  });
  port->SetErrorReporter([this](std::exception_ptr e) { Reported.push_back(e); });
}

void PortFixture::RecordEvents() {
  auto note = [this](const std::string& what) { Log.push_back(what); };
  port->OnBeforeOpen = [note](TCustomComPort*) { note("BeforeOpen"); };
  port->OnAfterOpen = [note](TCustomComPort*) { note("AfterOpen"); };
  port->OnBeforeClose = [note](TCustomComPort*) { note("BeforeClose"); };
  port->OnAfterClose = [note](TCustomComPort*) { note("AfterClose"); };
  port->OnCTSChange = [note](TCustomComPort*, bool on) { note(std::string("CTS:") + (on ? "1" : "0")); };
  port->OnDSRChange = [note](TCustomComPort*, bool on) { note(std::string("DSR:") + (on ? "1" : "0")); };
  port->OnRLSDChange = [note](TCustomComPort*, bool on) { note(std::string("RLSD:") + (on ? "1" : "0")); };
  port->OnRxChar = [note](TCustomComPort*, int count) { note("RxChar:" + std::to_string(count)); };
  port->OnError = [note](TCustomComPort*, TComErrors e) { note("Error:" + std::to_string(e.Bits())); };
  port->OnTxEmpty = [note](TCustomComPort*) { note("TxEmpty"); };
  port->OnBreak = [note](TCustomComPort*) { note("Break"); };
  port->OnRing = [note](TCustomComPort*) { note("Ring"); };
  port->OnRxFlag = [note](TCustomComPort*) { note("RxFlag"); };
  port->OnRx80Full = [note](TCustomComPort*) { note("Rx80Full"); };
}

bool PortFixture::PumpUntil(const std::function<bool()>& done, int limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    handOff->RunPendingFor(left);
  }
  return done();
}

void PortFixture::PumpFor(int ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    handOff->RunPendingFor(left);
  }
}

