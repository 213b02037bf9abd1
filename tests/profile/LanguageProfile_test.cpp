// Choosing the language section of a driver's INI file, on both platforms, with
// [Language] entries that cannot depend on the user's language.
#include "profile/LanguageProfile.h"

#include "profile/DriverFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The value read, or "<-1>" (the buffer then untouched).
std::string Read(const std::string& ini, const char* key = "ResDll", DWORD cch = MAX_PATH) {
  char sz[MAX_PATH] = "x";
  if (GetLanguageProfileString(key, sz, &cch, ini.c_str()) == 0) return sz;
  EXPECT_STREQ("x", sz);
  return "<-1>";
}
std::string Section(const std::string& name, const std::string& resDll) {
  return "[" + name + "]\r\nResDll=" + resDll + "\r\n";
}

TEST(LanguageProfile, WithoutTheChosenLibrariesTheFirstExistingOneInFileOrderWins) {
  profiletest::CDriverFolder folder;
  // The user's entry (an English one, or the first) names a missing file; FFFF is no language.
  const std::string ini = folder.WriteIni(
      "[Language]\r\nEnglish=9,1\r\nWildcard=FFFF\r\nLine Without Numbers\r\nFolder=FFFF\r\n" +
      Section("English", "E.DLL") + Section("Wildcard", "None*.DLL") + Section("Line Without Numbers", "L.DLL") +
      Section("Folder", "..\\Drv"));
  EXPECT_EQ("..\\Drv", Read(ini));
  folder.Write("L.DLL");
  EXPECT_EQ("L.DLL", Read(ini));
  folder.Write("None.DLL");
  EXPECT_EQ("None*.DLL", Read(ini));
}

TEST(LanguageProfile, ListingsAreReadWholeAtEveryBufferBoundary) {
  profiletest::CDriverFolder folder;
  folder.Write("Last.DLL");
  // Filler lines of 10 bytes with their zero, then the only line whose library exists;
  // listings just below, at and above 260 less 2 and 520 less 2 bytes.
  for (size_t total : {257u, 258u, 259u, 517u, 518u, 519u, 800u}) {
    std::string lines;
    size_t fill = total - 10;
    for (int i = 0; fill >= 10; ++i, fill -= 10) lines += "F" + std::to_string(10000 + i) + "=FF\r\n";
    const std::string last = "Last" + std::string(fill, 'z');
    const std::string ini = folder.WriteIni("[Language]\r\n" + lines + last + "=FFFF\r\n" + Section(last, "Last.DLL"));
    EXPECT_EQ("Last.DLL", Read(ini)) << total;
  }
}

TEST(LanguageProfile, NothingSelectableOrNothingThatFitsGivesMinusOne) {
  profiletest::CDriverFolder folder;
  folder.Write("A.DLL");
  EXPECT_EQ("<-1>", Read(""));
  EXPECT_EQ("<-1>", Read(folder.Path("missing.ini")));
  EXPECT_EQ("<-1>", Read(folder.WriteIni("[Language]\r\n" + Section("A", "A.DLL"))));
  EXPECT_EQ("<-1>", Read(folder.WriteIni("[Language]\r\nA=9,1\r\nB=7,1\r\n" + Section("A", "") + Section("B", ""))));
  // A value that fills the caller's buffer may be cut: refused.
  const std::string ini = folder.WriteIni("[Language]\r\nA=9,1\r\n" + Section("A", "A.DLL") + "Six=123456\r\n");
  EXPECT_EQ("123456", Read(ini, "Six", 8));
  EXPECT_EQ("<-1>", Read(ini, "Six", 7));
  EXPECT_EQ("<-1>", Read(ini, "Six", 1));
  EXPECT_EQ("<-1>", Read(ini, "Missing"));
  // A section name over 259 characters ends the selection.
  const std::string longName(260, 'n');
  EXPECT_EQ("<-1>", Read(folder.WriteIni("[Language]\r\n" + longName + "=9,1\r\nA=9,1\r\n" +
                                         Section(longName, "A.DLL") + Section("A", "A.DLL"))));
}

}  // namespace
