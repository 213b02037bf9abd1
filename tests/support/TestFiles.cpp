// File helpers for tests on both platforms.
#include "support/TestFiles.h"

#include <windows.h>
#include <share.h>

#include <gtest/gtest.h>

namespace testenv {

std::string TempDir() {
  char sz[MAX_PATH] = {0};
  DWORD n = GetTempPathA(sizeof(sz), sz);
  EXPECT_GT(n, 0u);
  return sz;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = _fsopen(path.c_str(), "wb", _SH_DENYNO);
  ASSERT_NE(nullptr, f) << path;
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

std::string ReadFile(const std::string& path, const char* mode) {
  FILE* f = _fsopen(path.c_str(), mode, _SH_DENYNO);
  if (!f) return "<missing>";
  std::string bytes;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
  fclose(f);
  return bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace testenv
