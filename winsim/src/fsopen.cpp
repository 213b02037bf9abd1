// winsim _fsopen: CRT streams over sandbox files through glibc's fopencookie, with the
// Windows CRT's text mode (line feed stored as CR LF, Ctrl-Z ends reading) and its
// sharing flags. Owns the record of open streams for leak checks and sharing.
#include "core.h"
#include "paths.h"

#include <share.h>

#include "winsim/control.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

using namespace winsim::detail;

namespace {

struct Stream {
  int fd;
  bool text;
  bool read;
  bool write;
  int deny;  // _SH_* flag
  bool ctrlZ = false;
  int lookahead = -1;  // byte read past a carriage return, not yet delivered
  dev_t dev = 0;
  ino_t ino = 0;
};

std::set<Stream*>& Streams() {
  static std::set<Stream*> streams;
  return streams;
}

// Streams a test left open stay usable; they just no longer count.
const ResetHook kReset([] { Streams().clear(); });

bool DeniesRead(int deny) { return deny == _SH_DENYRW || deny == _SH_DENYRD; }
bool DeniesWrite(int deny) { return deny == _SH_DENYRW || deny == _SH_DENYWR; }

bool SharingConflict(const struct stat& st, bool read, bool write, int deny) {
  for (const Stream* s : Streams()) {
    if (s->dev != st.st_dev || s->ino != st.st_ino) continue;
    if ((read && DeniesRead(s->deny)) || (write && DeniesWrite(s->deny))) return true;
    if ((s->read && DeniesRead(deny)) || (s->write && DeniesWrite(deny))) return true;
  }
  return false;
}

ssize_t TextRead(Stream* s, char* buf, size_t size) {
  if (s->ctrlZ) return 0;
  std::vector<char> raw(size);
  size_t have = 0;
  if (s->lookahead >= 0) {
    raw[have++] = static_cast<char>(s->lookahead);
    s->lookahead = -1;
  }
  ssize_t n = have < size ? ::read(s->fd, raw.data() + have, size - have) : 0;
  if (n < 0 && !have) return -1;
  if (n > 0) have += static_cast<size_t>(n);

  size_t out = 0;
  for (size_t i = 0; i < have; ++i) {
    char c = raw[i];
    if (c == '\x1A') {
      s->ctrlZ = true;
      break;
    }
    if (c == '\r') {
      int next = -1;
      char b;
      if (i + 1 < have) {
        next = static_cast<unsigned char>(raw[i + 1]);
      } else if (::read(s->fd, &b, 1) == 1) {
        next = static_cast<unsigned char>(b);
        if (next != '\n') s->lookahead = next;
      }
      if (next == '\n') {
        if (i + 1 < have) ++i;
        c = '\n';
      }
    }
    buf[out++] = c;
  }
  return static_cast<ssize_t>(out);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size) {
    ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

ssize_t CookieRead(void* cookie, char* buf, size_t size) {
  auto* s = static_cast<Stream*>(cookie);
  return s->text ? TextRead(s, buf, size) : ::read(s->fd, buf, size);
}

ssize_t CookieWrite(void* cookie, const char* buf, size_t size) {
  auto* s = static_cast<Stream*>(cookie);
  if (!s->text) return WriteAll(s->fd, buf, size) ? static_cast<ssize_t>(size) : -1;
  std::string out;
  out.reserve(size + size / 8);
  for (size_t i = 0; i < size; ++i) {
    if (buf[i] == '\n') out += '\r';
    out += buf[i];
  }
  return WriteAll(s->fd, out.data(), out.size()) ? static_cast<ssize_t>(size) : -1;
}

int CookieSeek(void* cookie, off64_t* offset, int whence) {
  auto* s = static_cast<Stream*>(cookie);
  off64_t delta = *offset;
  if (whence == SEEK_CUR && s->lookahead >= 0) --delta;
  s->lookahead = -1;
  s->ctrlZ = false;
  off64_t pos = ::lseek64(s->fd, delta, whence);
  if (pos < 0) return -1;
  *offset = pos;
  return 0;
}

int CookieClose(void* cookie) {
  auto* s = static_cast<Stream*>(cookie);
  Streams().erase(s);
  int rc = ::close(s->fd);
  delete s;
  return rc;
}

FILE* Refuse(int err, DWORD error) {
  errno = err;
  SetLastError(error);
  return nullptr;
}

}  // namespace

namespace winsim::detail {

bool HostFileOpen(const std::string& host) {
  struct stat st;
  if (::stat(host.c_str(), &st) != 0) return false;
  for (const Stream* s : Streams())
    if (s->dev == st.st_dev && s->ino == st.st_ino) return true;
  return false;
}

}  // namespace winsim::detail

namespace winsim {

size_t OpenStreamCount() { return Streams().size(); }

}  // namespace winsim

FILE* _fsopen(const char* filename, const char* mode, int shflag) {
  if (!filename || !mode || !*filename) return Refuse(EINVAL, ERROR_INVALID_PARAMETER);
  char kind = mode[0];
  if (kind != 'r' && kind != 'w' && kind != 'a') return Refuse(EINVAL, ERROR_INVALID_PARAMETER);
  bool plus = false;
  bool binary = false;
  for (const char* m = mode + 1; *m; ++m) {
    if (*m == '+' && !plus) plus = true;
    else if (*m == 'b') binary = true;
    else if (*m != 't') return Refuse(EINVAL, ERROR_INVALID_PARAMETER);
  }
  if (shflag != _SH_DENYRW && shflag != _SH_DENYWR && shflag != _SH_DENYRD && shflag != _SH_DENYNO)
    return Refuse(EINVAL, ERROR_INVALID_PARAMETER);
  if (DWORD e = Fault("_fsopen")) {
    bool missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND;
    return Refuse(missing ? ENOENT : EACCES, e);
  }

  bool read = kind == 'r' || plus;
  bool write = kind != 'r' || plus;
  WinPath path;
  if (!ParseWinPath(filename, path)) return Refuse(ENOENT, ERROR_PATH_NOT_FOUND);
  Located loc = Locate(path);
  if (loc.node == Node::kFolder) return Refuse(EACCES, ERROR_ACCESS_DENIED);
  if (loc.node == Node::kMissingParent || loc.node == Node::kParentNotFolder) return Refuse(ENOENT, ERROR_PATH_NOT_FOUND);
  if (loc.node == Node::kMissing && kind == 'r') return Refuse(ENOENT, ERROR_FILE_NOT_FOUND);
  struct stat st;
  if (loc.node == Node::kFile && ::stat(loc.host.c_str(), &st) == 0 && SharingConflict(st, read, write, shflag))
    return Refuse(EACCES, ERROR_SHARING_VIOLATION);

  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (kind == 'w') flags |= O_CREAT | O_TRUNC;
  if (kind == 'a') flags |= O_CREAT | O_APPEND;
  int fd = ::open(loc.host.c_str(), flags, 0600);
  if (fd < 0) return Refuse(errno, ERROR_ACCESS_DENIED);

  auto* s = new Stream{fd, !binary, read, write, shflag};
  if (::fstat(fd, &st) == 0) {
    s->dev = st.st_dev;
    s->ino = st.st_ino;
  }
  char cookieMode[3] = {kind, plus ? '+' : '\0', '\0'};
  FILE* f = fopencookie(s, cookieMode, cookie_io_functions_t{CookieRead, CookieWrite, CookieSeek, CookieClose});
  if (!f) {
    ::close(fd);
    delete s;
    return Refuse(ENOMEM, ERROR_NOT_ENOUGH_MEMORY);
  }
  Streams().insert(s);
  return f;
}
