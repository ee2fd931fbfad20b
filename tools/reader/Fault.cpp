#include "Fault.h"

namespace vreader {

namespace {
constexpr std::string_view Names[] = {"checksum", "endflag", "length", "cut", "noise", "id"};

std::uint8_t noiseByte(Random& random) {
  for (;;) {
    auto b = std::uint8_t(random.below(256));
    if (!isStartFlag(b) && b != '\n' && b != '\r') return b;
  }
}
}  // namespace

std::string_view faultName(FaultKind kind) { return Names[int(kind)]; }

std::optional<FaultKind> faultFromName(std::string_view name) {
  for (auto kind : AllFaults)
    if (faultName(kind) == name) return kind;
  return std::nullopt;
}

bool needsBinary(FaultKind kind) { return kind != FaultKind::Cut && kind != FaultKind::Noise; }

Bytes breakReport(FaultKind kind, const Reader& reader, Bytes report) {
  const bool binary = reader.binary();
  const std::size_t lengthAt = reader.id() ? 2 : 1;
  if (kind == FaultKind::Cut || !binary) {
    report.resize(report.size() / 2);
  } else if (kind == FaultKind::Checksum) {
    report[report.size() - 2] += 1;
  } else if (kind == FaultKind::EndFlag) {
    report.back() += 1;
  } else if (kind == FaultKind::Length) {
    report[lengthAt] = 0x07;
  }
  return report;
}

Bytes faultBytes(FaultKind kind, const Reader& reader, const CardCode& code, Random& random) {
  switch (kind) {
    case FaultKind::Checksum:
    case FaultKind::EndFlag:
    case FaultKind::Length: return breakReport(kind, reader, reader.cardFrame(code));
    case FaultKind::Cut: return breakReport(kind, reader, reader.cardReport(code));
    case FaultKind::Noise: {
      Bytes noise(3 + random.below(6));
      for (auto& b : noise) b = noiseByte(random);
      return noise;
    }
    case FaultKind::Id: {
      Bytes frame = reader.cardFrame(code);
      std::uint8_t id;
      do id = std::uint8_t(0x20 + random.below(0xE0));
      while (isStartFlag(id));
      if (reader.id())
        frame[1] = id;
      else
        frame.insert(frame.begin() + 1, id);
      return frame;
    }
  }
  return {};
}

}  // namespace vreader
