// Conformance: string calls the program relies on behave alike on both platforms.
#include <windows.h>

#include <gtest/gtest.h>

TEST(StringsConformance, LstrcmpiAComparesWithoutCase) {
  EXPECT_EQ(0, lstrcmpiA("Office Printer", "OFFICE printer"));
  EXPECT_NE(0, lstrcmpiA("Office Printer", "Office Printer2"));
  EXPECT_EQ(0, lstrcmpiA("", ""));
  EXPECT_EQ(14, lstrlenA("Office Printer"));
}
