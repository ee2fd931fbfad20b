// Stands in for trellum-reader inside the rig's guest: hands its arguments to
// the host script over the relay port, which runs the real reader on the far
// end of the port named by --device, then relays the reader's standard input
// ("in LINE", "eof") and output ("out LINE", "end CODE") line by line.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kRelayPort = "/dev/ttyS3";

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int relay = open(kRelayPort, O_RDWR | O_NOCTTY);
  if (relay < 0) {
    perror(kRelayPort);
    return 2;
  }
  std::string start = "start";
  for (int i = 1; i < argc; ++i) start += (i == 1 ? " " : "\t") + std::string(argv[i]);
  if (!WriteAll(relay, start + "\n")) return 2;

  std::string fromHost, fromOwner;
  bool ownerOpen = true;
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{relay, POLLIN, 0}, {ownerOpen ? STDIN_FILENO : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) return 2;
    if (fds[1].revents) {
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) {
        ownerOpen = false;
        if (!WriteAll(relay, "eof\n")) return 2;
      } else {
        fromOwner.append(buffer, size_t(n));
        for (size_t end; (end = fromOwner.find('\n')) != std::string::npos; fromOwner.erase(0, end + 1))
          if (!WriteAll(relay, "in " + fromOwner.substr(0, end + 1))) return 2;
      }
    }
    if (fds[0].revents) {
      const ssize_t n = read(relay, buffer, sizeof buffer);
      if (n <= 0) return 2;
      fromHost.append(buffer, size_t(n));
      for (size_t end; (end = fromHost.find('\n')) != std::string::npos; fromHost.erase(0, end + 1)) {
        const std::string line = fromHost.substr(0, end);
        if (line.rfind("end ", 0) == 0) return std::atoi(line.c_str() + 4);
        if (line.rfind("out ", 0) == 0 && !WriteAll(STDOUT_FILENO, line.substr(4) + "\n")) return 2;
      }
    }
  }
}
