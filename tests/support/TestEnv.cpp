// The test environment's helpers.
#include "support/TestEnv.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>

namespace testenv {

void WriteFile(const std::string& path, const std::string& bytes) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  ASSERT_NE(-1, fd) << path;
  EXPECT_EQ(static_cast<int>(bytes.size()), _write(fd, bytes.data(), static_cast<unsigned>(bytes.size()))) << path;
  _close(fd);
}

std::string ReadFile(const std::string& path) {
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd == -1) return "<missing>";
  std::string bytes;
  char buf[4096];
  for (int n; (n = _read(fd, buf, sizeof(buf))) > 0;) bytes.append(buf, static_cast<size_t>(n));
  _close(fd);
  return bytes;
}

std::string GetReg(HKEY root, const std::string& key, const std::string& name) {
  DWORD type = 0, size = 0;
  if (key.empty() ||
      RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS)
    return "<missing>";
  std::string data(size + sizeof(DWORD), '\0');  // a DWORD's bytes whatever the size
  RegGetValueA(root, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &type, &data[0], &size);
  DWORD v = 0;
  memcpy(&v, data.data(), sizeof(v));
  if (type == REG_DWORD && size == sizeof(v)) return std::to_string(v);
  return data.substr(0, data.find_last_not_of('\0') + 1);
}

CGuarded::CGuarded(size_t n) {
  const size_t cbPages = (n + 4095) / 4096 * 4096;
  m_pBase = VirtualAlloc(nullptr, cbPages + 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD dwOld = 0;
  VirtualProtect(static_cast<char*>(m_pBase) + cbPages, 4096, PAGE_NOACCESS, &dwOld);
  m_p = static_cast<char*>(m_pBase) + cbPages - n;
}

}  // namespace testenv
