#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// ser2net on 127.0.0.1 in front of a device, with a configuration of its own
// in a folder the caller gives, and the pseudo-terminal shim preloaded: its
// RTS changes and its writes to the device are logged in order. It listens
// on the same free port each time it is started again.
class Ser2netServer {
 public:
  struct Options {
    bool rfc2217 = true;    // telnet(rfc2217), else a raw socket
    bool chardelay = true;  // ser2net's own default: hold data back about two characters
    // A new connection ends the one before; without, it is turned away
    // while another is open (so that the check that ser2net listens cannot
    // end a client that got in first).
    bool kickOldUser = true;
  };

  explicit Ser2netServer(QString folder);
  ~Ser2netServer();
  Ser2netServer(const Ser2netServer&) = delete;
  Ser2netServer& operator=(const Ser2netServer&) = delete;

  // Starts it in front of `device` and waits until it listens; empty on
  // success, else what went wrong.
  QString Start(const QString& device, Options options);
  // Kills it and waits for its end.
  void Stop();
  // The network name of the port it serves ("rfc2217://127.0.0.1:PORT").
  QString Name() const;
  // Its TCP port, 0 before the first start.
  int Port() const { return port_; }

  // The shim's log: SETRTS, CLRRTS and DATA:<hex> lines.
  QString ShimLog() const;
  QStringList ShimEntries() const;

 private:
  QString folder_;
  QProcess process_;
  int port_ = 0;
  bool rfc2217_ = true;
};
