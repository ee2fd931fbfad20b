#include "Ser2netServer.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A TCP port of 127.0.0.1 that nothing listens on just now.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  const bool found = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  if (fd >= 0) ::close(fd);
  return found ? ntohs(address.sin_port) : 0;
}

bool Listening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  const bool up = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return up;
}

}  // namespace

Ser2netServer::Ser2netServer(QString folder) : folder_(std::move(folder)) {}

Ser2netServer::~Ser2netServer() { Stop(); }

QString Ser2netServer::Start(const QString& device, Options options) {
  if (port_ == 0) port_ = FreePort();
  if (port_ == 0) return "no free port on 127.0.0.1";
  rfc2217_ = options.rfc2217;
  QFile config(QDir(folder_).filePath("ser2net.yaml"));
  if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate)) return "cannot write " + config.fileName();
  const QString accepter =
      QString(options.rfc2217 ? "telnet(rfc2217),tcp,127.0.0.1,%1" : "tcp,127.0.0.1,%1").arg(port_);
  config.write(QString("connection: &reader\n"
                       "  accepter: %1\n"
                       "  connector: serialdev,%2,9600n81,local\n"
                       "  options:\n"
                       "    kickolduser: %3\n"
                       "    chardelay: %4\n")
                   .arg(accepter, device, options.kickOldUser ? "true" : "false", options.chardelay ? "true" : "false")
                   .toUtf8());
  config.close();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("LD_PRELOAD", TRELLUM_PTY_SHIM);
  environment.insert("TRELLUM_SHIM_LOG", ShimLog());
  environment.insert("TRELLUM_SHIM_WRITES", "1");
  process_.setProcessEnvironment(environment);
  process_.setProcessChannelMode(QProcess::MergedChannels);
  process_.setStandardOutputFile(QDir(folder_).filePath("ser2net.out"));
  process_.start("ser2net",
                 {"-n", "-d", "-c", config.fileName(), "-P", QDir(folder_).filePath("ser2net.pid")});
  if (!process_.waitForStarted(5000)) return "ser2net did not start: is it installed?";
  if (!QTest::qWaitFor([&] { return Listening(port_); }, 5000)) return "ser2net does not listen";
  return {};
}

void Ser2netServer::Stop() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.kill();
  process_.waitForFinished(5000);
}

QString Ser2netServer::Name() const {
  return QString("%1://127.0.0.1:%2").arg(rfc2217_ ? "rfc2217" : "socket").arg(port_);
}

QString Ser2netServer::ShimLog() const { return QDir(folder_).filePath("shim.log"); }

QStringList Ser2netServer::ShimEntries() const {
  QFile log(ShimLog());
  if (!log.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(log.readAll()).split('\n', Qt::SkipEmptyParts);
}
