#include "PortCut.h"

#include <QProcess>

namespace {

constexpr char kTable[] = "trellum_cut";

// Runs nft with this script on its standard input; empty or its complaint.
QString Nft(const QString& script) {
  QProcess nft;
  nft.setProcessChannelMode(QProcess::MergedChannels);
  nft.start("nft", {"-f", "-"});
  if (!nft.waitForStarted(5000)) return "nft did not start: is nftables installed?";
  nft.write(script.toUtf8());
  nft.closeWriteChannel();
  if (!nft.waitForFinished(10000)) return "nft did not end";
  if (nft.exitStatus() != QProcess::NormalExit || nft.exitCode() != 0)
    return "nft failed: " + QString::fromLocal8Bit(nft.readAll());
  return {};
}

}  // namespace

PortCut::~PortCut() { Restore(); }

QString PortCut::Cut(int port) {
  const QString drop = QString("tcp dport %1 drop; tcp sport %1 drop;").arg(port);
  const QString error = Nft(QString("table inet %1 {\n"
                                    "  chain in { type filter hook input priority 0; %2 }\n"
                                    "  chain out { type filter hook output priority 0; %2 }\n"
                                    "}\n")
                                .arg(kTable, drop));
  cut_ = error.isEmpty();
  return error;
}

QString PortCut::Restore() {
  if (!cut_) return {};
  cut_ = false;
  return Nft(QString("delete table inet %1\n").arg(kTable));
}
