#include "LineRecord.h"

#include "SessionRecord.h"

namespace {

std::string LineRecordPath(const std::string& path, std::size_t line, std::size_t lines) {
  if (lines <= 1) return path;
  const auto name = path.find_last_of("/\\") + 1;
  auto dot = path.rfind('.');
  if (dot == std::string::npos || dot <= name) dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(line + 1) + path.substr(dot);
}

}  // namespace

std::unique_ptr<SessionRecord> OpenLineRecord(const std::string& path, std::size_t line, std::size_t lines,
                                              std::ostream& progress) {
  if (path.empty()) return nullptr;
  return std::make_unique<SessionRecord>(LineRecordPath(path, line, lines), [&progress](const std::exception& e) {
    progress << "trellum-check: " << e.what() << std::endl;
  });
}
