#include "ComOpener.h"

#include <utility>

#include "ComError.h"

TComOpener::TComOpener(std::shared_ptr<serialdev::SerialDevice> device, std::string target, DeviceSetup setup,
                       Finished finished)
    : device_(std::move(device)),
      target_(std::move(target)),
      setup_(std::move(setup)),
      finished_(std::move(finished)),
      thread_(&TComOpener::Execute, this) {}

TComOpener::~TComOpener() { Join(); }

void TComOpener::Join() {
  if (thread_.joinable()) thread_.join();
}

void TComOpener::Execute() {
  int reason = kOpenFailed;
  int code = device_->Open(target_);
  if (code == 0) {
    reason = kSetupQueuesFailed;
    code = device_->SetQueueSizes(setup_.inputSize, setup_.outputSize);
  }
  if (code == 0) {
    reason = kSetStateFailed;
    code = device_->SetState(setup_.controlBlock);
  }
  if (code == 0) {
    reason = kSetTimeoutsFailed;
    code = device_->SetTimeouts(setup_.timeouts);
  }
  if (code != 0) device_->Close();
  finished_(code != 0 ? reason : 0, code);
}
