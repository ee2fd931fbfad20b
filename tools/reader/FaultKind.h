#pragma once

#include <optional>
#include <string_view>

namespace vreader {

enum class FaultKind { Checksum, EndFlag, Length, Cut, Noise, Id };

inline constexpr FaultKind AllFaults[] = {FaultKind::Checksum, FaultKind::EndFlag, FaultKind::Length,
                                          FaultKind::Cut,      FaultKind::Noise,   FaultKind::Id};

std::string_view faultName(FaultKind kind);
std::optional<FaultKind> faultFromName(std::string_view name);
// Faults that need a binary frame to break; in ASCII only cut and noise exist.
bool needsBinary(FaultKind kind);

}  // namespace vreader
