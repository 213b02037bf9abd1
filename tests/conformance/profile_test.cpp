// Conformance: profile (INI) reads return the same values and sizes on both platforms.
// The files live in the temporary folder (one in the Windows folder) and are removed.
#include <windows.h>
#include <share.h>

#include <gtest/gtest.h>

#include "support/TestFiles.h"

#include <cstring>
#include <string>

namespace {

const char kIni[] =
    "; leading comment\r\n"
    "[Install]\r\n"
    "DRVNAME=OLMAR Drv\r\n"
    "  Spaced  =   value with blanks   \r\n"
    "Quoted=\"in quotes\"\r\n"
    "HalfQuote=\"open\r\n"
    "QuotedBlank= \" x \" \r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    "; comment=in section\r\n"
    "dup=first\r\n"
    "DUP=second\r\n"
    "long=0123456789\r\n"
    "\r\n"
    "[ Numbers ]\r\n"
    "a=42\n"
    "b=-7\n"
    "c=0x10\n"
    "d=12abc\n"
    "e=abc\n"
    "f=+5\n"
    "g=\n"
    "h=4294967295\n"
    "i=010\n"
    "j=\"77\"\n"
    "k=0X1f\n"
    "[install]\r\n"
    "Extra=yes\r\n"
    "[Language]\r\n"
    "English=9,1\r\n"
    "German=7,1\r\n"
    "Japanese=11,1,x";

using testenv::TempDir;

class ProfileConformance : public testing::Test {
protected:
  void SetUp() override {
    m_ini = TempDir() + "prw3conf_profile.ini";
    testenv::WriteFile(m_ini, kIni);
  }
  void TearDown() override { DeleteFileA(m_ini.c_str()); }

  // The string read with a canary-filled buffer of the given size; r gets the result.
  std::string Get(const char* app, const char* key, const char* def, DWORD size, DWORD* r) {
    memset(m_buf, 0x55, sizeof(m_buf));
    *r = GetPrivateProfileStringA(app, key, def, m_buf, size, m_ini.c_str());
    return std::string(m_buf, size < sizeof(m_buf) - 2 ? size + 2 : sizeof(m_buf));
  }
  std::string Value(const char* app, const char* key, const char* def = "<default>") {
    char buf[260];
    DWORD r = GetPrivateProfileStringA(app, key, def, buf, sizeof(buf), m_ini.c_str());
    EXPECT_EQ(strlen(buf), r) << key;
    return buf;
  }

  std::string m_ini;
  char m_buf[64];
};

TEST_F(ProfileConformance, ValuesAreTrimmedAndUnquoted) {
  struct Case {
    const char* app;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Install", "DRVNAME", "OLMAR Drv"},
      {"install", "drvname", "OLMAR Drv"},
      {"Install", "Spaced", "value with blanks"},
      {"Install", "Quoted", "in quotes"},
      {"Install", "HalfQuote", "\"open"},
      {"Install", "QuotedBlank", " x "},
      {"Install", "Empty", ""},
      {"Install", "NoEquals", "<default>"},
      // A comment line is hidden from listings, not from a direct read.
      {"Install", "; comment", "in section"},
      {"Install", "dup", "first"},
      // Only the first of two same-named sections counts.
      {"Install", "Extra", "<default>"},
      {" Numbers ", "a", "42"},
      {"Language", "Japanese", "11,1,x"},
      {"Nope", "a", "<default>"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Value(c.app, c.key)) << c.app << "/" << c.key;
}

TEST_F(ProfileConformance, MissingFiles) {
  std::string missing = TempDir() + "prw3conf_missing.ini";
  char buf[32];
  SetLastError(0xdeadbeef);
  EXPECT_EQ(4u, GetPrivateProfileStringA("Install", "DRVNAME", "dflt", buf, sizeof(buf), missing.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_STREQ("dflt", buf);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(4u, GetPrivateProfileStringA("Install", "DRVNAME", "dflt", buf, sizeof(buf),
                                         (TempDir() + "nofolder\\x.ini").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_EQ(7u, GetPrivateProfileIntA("Install", "a", 7, missing.c_str()));
}

TEST_F(ProfileConformance, StringTruncationReturnsSizeLessOne) {
  DWORD r;
  EXPECT_EQ(std::string("0123\0\x55\x55", 7), Get("Install", "long", "", 5, &r));
  EXPECT_EQ(4u, r);
  EXPECT_EQ(std::string("012345678\0\x55\x55", 12), Get("Install", "long", "", 10, &r));
  EXPECT_EQ(9u, r);
  EXPECT_EQ(std::string("0123456789\0\x55\x55", 13), Get("Install", "long", "", 11, &r));
  EXPECT_EQ(10u, r);
  EXPECT_EQ(std::string("\0\x55\x55", 3), Get("Install", "long", "", 1, &r));
  EXPECT_EQ(0u, r);
  EXPECT_EQ(std::string("\x55\x55", 2), Get("Install", "long", "", 0, &r));
  EXPECT_EQ(0u, r);
  EXPECT_EQ(std::string("0123\0", 5), Get("Install", "missing", "0123456789", 5, &r).substr(0, 5));
  EXPECT_EQ(4u, r);
}

TEST_F(ProfileConformance, SectionLinesAndSizeLessTwo) {
  char buf[300];
  memset(buf, 0x55, sizeof(buf));
  const char kLines[] =
      "DRVNAME=OLMAR Drv\0Spaced=value with blanks\0Quoted=\"in quotes\"\0HalfQuote=\"open\0"
      "QuotedBlank=\" x \"\0Empty=\0NoEquals\0dup=first\0DUP=second\0long=0123456789\0";
  EXPECT_EQ(sizeof(kLines) - 1, GetPrivateProfileSectionA("Install", buf, sizeof(buf), m_ini.c_str()));
  EXPECT_EQ(std::string(kLines, sizeof(kLines)), std::string(buf, sizeof(kLines)));

  struct Cut {
    DWORD size;
    std::string expected;
  } cuts[] = {
      {27, std::string("English=9,1\0German=7,1\0Ja\0\0\x55", 28)},
      {2, std::string("\0\0\x55", 3)},
  };
  for (const Cut& c : cuts) {
    memset(buf, 0x55, sizeof(buf));
    EXPECT_EQ(c.size - 2, GetPrivateProfileSectionA("Language", buf, c.size, m_ini.c_str())) << c.size;
    EXPECT_EQ(c.expected, std::string(buf, c.size + 1)) << c.size;
  }
  memset(buf, 0x55, sizeof(buf));
  EXPECT_EQ(0u, GetPrivateProfileSectionA("Nope", buf, 20, m_ini.c_str()));
  EXPECT_EQ(std::string("\0\0", 2), std::string(buf, 2));
}

TEST_F(ProfileConformance, IntReadsLeadingNumber) {
  struct Case {
    const char* key;
    int expected;
  } cases[] = {
      {"a", 42}, {"b", -7}, {"c", 16}, {"d", 12}, {"e", 0}, {"f", 5}, {"g", -3}, {"h", -1}, {"i", 10},
      {"j", 77}, {"k", 0}, {"missing", -3},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, static_cast<int>(GetPrivateProfileIntA("Numbers", c.key, -3, m_ini.c_str()))) << c.key;
}

TEST_F(ProfileConformance, BareFileNameLivesInWindowsFolder) {
  const char kName[] = "prw3conf_bare.ini";
  char szWindows[MAX_PATH];
  ASSERT_NE(0u, GetWindowsDirectoryA(szWindows, sizeof(szWindows)));
  const std::string path = std::string(szWindows) + "\\" + kName;
  testenv::WriteFile(path, "[Rel]\r\nK=V\r\n");
  char buf[16];
  EXPECT_EQ(1u, GetPrivateProfileStringA("Rel", "K", "", buf, sizeof(buf), kName));
  EXPECT_STREQ("V", buf);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

}  // namespace
