#include "ScanLines.h"

#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "CheckLine.h"
#include "ComError.h"
#include "LineRecord.h"
#include "Scan.h"
#include "SessionRecord.h"
#include "SharedOutput.h"
#include "Station.h"

namespace {

struct LineScan {
  std::optional<ScanResult> result;
  std::string error;  // the line could not be opened
  bool stopped = false;
};

}  // namespace

int ScanLines(const CheckOptions& options, serialdev::PortResolver resolve, SharedOutput& out, SharedOutput& err,
              Station& station) {
  const bool several = options.ports.size() > 1;
  std::mutex mutex;
  std::vector<LineScan> scans(options.ports.size());
  station.Run([&](std::size_t index, const std::atomic<bool>& stop) {
    const std::string& port = options.ports[index];
    LineWriter progress(err, several ? port + ": " : "");
    const std::unique_ptr<SessionRecord> record =
        OpenLineRecord(options.record, index, options.ports.size(), progress);
    CheckLine line(port, resolve, record.get(), stop);
    LineScan scan;
    try {
      scan.result = Scan(line, options.scan, progress);
    } catch (const EComPort& error) {
      if (record) record->Error(error.what());
      scan.error = error.what();
    } catch (const Stopped&) {
      scan.stopped = true;
    }
    std::lock_guard lock(mutex);
    scans[index] = std::move(scan);
  });

  std::lock_guard lock(mutex);
  int status = 0;
  std::ostringstream results;
  for (std::size_t i = 0; i < scans.size(); ++i) {
    const LineScan& scan = scans[i];
    const std::string& port = options.ports[i];
    if (scan.stopped) {
      err.Write("trellum-check: stopped\n");
      return 1;
    }
    if (!scan.result) {
      err.Write("trellum-check: " + (several ? port + ": " : std::string()) + scan.error + "\n");
      status = 2;
      continue;
    }
    if (scan.result->readers.empty() && status == 0) status = 1;
    if (options.json) {
      PrintScanJson(results, *scan.result);
      std::ostringstream found;
      found << (several ? port + ": " : std::string()) << "scan: " << scan.result->readers.size() << " found in "
            << scan.result->seconds << " s\n";
      err.Write(found.str());
    } else {
      if (several) results << (i ? "\n" : "") << "line " << port << '\n';
      PrintScanTable(results, *scan.result);
    }
  }
  out.Write(results.str());
  return status;
}
