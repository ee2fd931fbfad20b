#pragma once

#include <QString>

// A TCP port of this network namespace cut the way a pulled cable cuts it:
// nftables drops its packets both ways, so no end of a connection arrives
// either. The table goes again with Restore or with the object.
class PortCut {
 public:
  PortCut() = default;
  ~PortCut();
  PortCut(const PortCut&) = delete;
  PortCut& operator=(const PortCut&) = delete;

  // Empty on success, else what nft said.
  QString Cut(int port);
  QString Restore();

 private:
  bool cut_ = false;
};
