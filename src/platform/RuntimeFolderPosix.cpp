#include "RuntimeFolderPosix.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The fallback folder lies in world-writable /tmp: only a real directory that
// belongs to this user and that no one else can enter is accepted.
bool MakePrivateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    return false;
  }
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    return false;
  }
  return (info.st_mode & 077) == 0 || chmod(path.c_str(), 0700) == 0;
}

}  // namespace

std::string RuntimeFolder(const std::string& name) {
  // A runtime folder that is not there yet is made, as the toolkit makes it,
  // so that every copy settles on the same folder whichever starts first; one
  // that cannot be had would refuse every start as if another copy ran.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    mkdir(runtime, 0700);
    struct stat info {};
    if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode)) {
      return runtime;
    }
  }
  const std::string fallback = "/tmp/" + name + '-' + std::to_string(getuid());
  return MakePrivateFolder(fallback) ? fallback : std::string();
}
