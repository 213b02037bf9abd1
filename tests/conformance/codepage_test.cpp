// Conformance: MultiByteToWideChar in the double-byte code page 932, asked for by number
// so the platform's own ANSI code page does not matter.
#include <windows.h>

#include <gtest/gtest.h>

TEST(CodePageConformance, LeadByteWithoutTrailFailsOnlyWhenInvalidCharsAreErrors) {
  // Characters, or 0 for ERROR_NO_UNICODE_TRANSLATION.
  const struct { const char* bytes; int cb; DWORD flags; int expected; } kCases[] = {
      {"\x82\xa0\x82\xa2", -1, MB_ERR_INVALID_CHARS, 3},  // two double-byte characters and the terminator
      {"A\x82", -1, MB_ERR_INVALID_CHARS, 0},             // the terminator is no trail byte
      {"A\x82", 2, MB_ERR_INVALID_CHARS, 0},
      {"A\x82", 2, 0, 2},                                 // without the flag: a default character
  };
  for (const auto& c : kCases) {
    WCHAR out[8];
    for (int withBuffer = 0; withBuffer < 2; ++withBuffer) {
      SetLastError(0xdeadbeef);
      const int n = MultiByteToWideChar(932, c.flags, c.bytes, c.cb, withBuffer ? out : nullptr, withBuffer ? 8 : 0);
      EXPECT_EQ(c.expected, n) << c.bytes << " flags " << c.flags << " buffer " << withBuffer;
      if (!c.expected) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError()) << c.bytes;
      }
    }
  }
}
