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

Bytes faultBytes(FaultKind kind, const Reader& reader, const CardCode& code, Random& random) {
  Bytes frame = reader.cardFrame(code);
  std::size_t lengthAt = reader.id() ? 2 : 1;
  switch (kind) {
    case FaultKind::Checksum: frame[frame.size() - 2] += 1; return frame;
    case FaultKind::EndFlag: frame.back() += 1; return frame;
    case FaultKind::Length: frame[lengthAt] = 0x07; return frame;
    case FaultKind::Cut: {
      Bytes report = reader.cardReport(code);
      report.resize(report.size() / 2);
      return report;
    }
    case FaultKind::Noise: {
      Bytes noise(3 + random.below(6));
      for (auto& b : noise) b = noiseByte(random);
      return noise;
    }
    case FaultKind::Id: {
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
