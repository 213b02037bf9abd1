// Bounded string helpers: every copy into a fixed buffer goes through these, so no
// input length can overrun a field; the result says whether the whole text fit.
#pragma once

#include <cstdarg>
#include <cstddef>

// Copies src (null counts as "") into dst of size bytes, always terminated when
// size > 0. Returns true when nothing was cut.
bool CopyStr(char* dst, size_t size, const char* src);
template <size_t N>
bool CopyStr(char (&dst)[N], const char* src) {
  return CopyStr(dst, N, src);
}

// snprintf into dst of size bytes, always terminated. Returns true when nothing was cut.
bool FormatStr(char* dst, size_t size, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Copies at most count characters of src (stopping at its end) into dst, terminated.
// Returns true when those characters all fit.
bool CopyStrN(char* dst, size_t size, const char* src, size_t count);

// Upper-cases the letters a to z in place.
void UpperAscii(char* s);
