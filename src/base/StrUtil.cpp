// Bounded string helpers.
#include "base/StrUtil.h"

#include <cstdio>
#include <cstring>

bool CopyStr(char* dst, size_t size, const char* src) { return CopyStrN(dst, size, src, static_cast<size_t>(-1)); }

bool CopyStrN(char* dst, size_t size, const char* src, size_t count) {
  if (size == 0) return false;
  size_t i = 0;
  if (src) {
    for (; i < count && src[i] != '\0'; ++i) {
      if (i + 1 == size) {
        dst[i] = '\0';
        return false;
      }
      dst[i] = src[i];
    }
  }
  dst[i] = '\0';
  return true;
}

bool FormatStr(char* dst, size_t size, const char* fmt, ...) {
  if (size == 0) return false;
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(dst, size, fmt, args);
  va_end(args);
  if (n < 0) {
    dst[0] = '\0';
    return false;
  }
  return static_cast<size_t>(n) < size;
}

void UpperAscii(char* s) {
  for (; *s; ++s)
    if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
}
