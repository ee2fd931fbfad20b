#include <cstdio>
#include <string>

#include "RecordOption.h"
#include "Trellum.h"

int main(int argc, char** argv) {
  TrellumSetup setup;
  std::string error;
  if (!TakeRecordOption(argc, argv, setup.recordPath, error)) {
    std::fprintf(stderr, "trellum: %s\n", error.c_str());
    return 2;
  }
  return RunTrellum(argc, argv, setup);
}
