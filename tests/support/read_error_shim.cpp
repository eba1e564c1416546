// Loaded into the real binary with LD_PRELOAD: the read number given in
// QNVTAB_FAIL_READ (from 1, counting every pread of the process) fails with
// EIO, as a failing disk would, and so does every later one.
#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using Pread = ssize_t (*)(int, void*, size_t, off_t);

long readsSeen = 0;  // the shim's own count; the program under test has one thread

bool failThisRead() {
  const char* failAt = std::getenv("QNVTAB_FAIL_READ");
  ++readsSeen;
  return failAt != nullptr && readsSeen >= std::atol(failAt);
}

ssize_t forward(const char* name, int fd, void* buffer, size_t size, off_t offset) {
  if (failThisRead()) {
    errno = EIO;
    return -1;
  }
  const auto real = reinterpret_cast<Pread>(::dlsym(RTLD_NEXT, name));
  return real(fd, buffer, size, offset);
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
  return forward("pread", fd, buffer, size, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, size_t size, off_t offset) {
  return forward("pread64", fd, buffer, size, offset);
}
