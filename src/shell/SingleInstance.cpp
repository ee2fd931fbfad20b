#include "SingleInstance.h"

std::unique_ptr<InstanceGuard> ClaimSingleInstance(const InformationBox& box) {
  auto guard = std::make_unique<InstanceGuard>(kInstanceName);
  if (guard->Held()) {
    return guard;
  }
  box(kRefusalCaption, kRefusalText);
  return nullptr;
}
