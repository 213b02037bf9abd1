// Language selection for chosen user languages, and a file search that fails, over winsim.
#include "profile/LanguageProfile.h"

#include "profile/DriverFolder.h"
#include "winsim/control.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class LanguageProfileNativeTest : public testing::Test {
protected:
  // [Language] lines "name=numbers"; each section's library is <name>.DLL and exists.
  std::string Ini(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string listing = "[Language]\r\n", sections;
    for (const auto& entry : entries) {
      listing += entry.first + "=" + entry.second + "\r\n";
      sections += "[" + entry.first + "]\r\nResDll=" + entry.first + ".DLL\r\nOther=" + entry.first + "\r\n";
      m_folder.Write(entry.first + ".DLL");
    }
    return m_folder.WriteIni(listing + sections);
  }
  std::string Read(const std::string& ini, const char* key = "ResDll") {
    char sz[MAX_PATH] = "";
    DWORD cch = sizeof(sz);
    return GetLanguageProfileString(key, sz, &cch, ini.c_str()) == 0 ? sz : "<-1>";
  }

  profiletest::CDriverFolder m_folder;
};

TEST_F(LanguageProfileNativeTest, ExactThenSamePrimaryThenEnglishThenFirstWithHexNumbers) {
  std::string ini = Ini({{"DeCH", "7,2"}, {"DeDE", "0x07, 1"}, {"DeAT", "0 7,3,ignored"}, {"EnGB", "9,2"},
                         {"EnUS", "9,1"}, {"EsES", "0A,1"}, {"EsMX", "0a,2"}, {"EsAR", "0 a,B"}, {"JaJP", "0x11,1"},
                         {"JaXX", "10011,2"}});
  const std::pair<LANGID, const char*> cases[] = {
      {0x0407, "DeDE"}, {0x0C07, "DeAT"}, {0x1007, "DeCH"}, {0x0809, "EnGB"}, {0x0410, "EnGB"},
      {0x040A, "EsES"}, {0x080A, "EsMX"}, {0x2C0A, "EsAR"}, {0x0411, "JaJP"}, {0x0811, "JaXX"},
  };
  for (const auto& c : cases) {
    winsim::SetUserLangID(c.first);
    EXPECT_EQ(std::string(c.second) + ".DLL", Read(ini)) << std::hex << c.first;
    EXPECT_EQ(c.second, Read(ini, "Other")) << std::hex << c.first;
  }
  winsim::SetUserLangID(0x0410);
  EXPECT_EQ("Fr.DLL", Read(Ini({{"Fr", "C,1"}, {"Ja", "11,1"}}))) << "no English entry";
}

TEST_F(LanguageProfileNativeTest, MissingLibraryFallsToUsEnglishThenToFileOrder) {
  winsim::SetUserLangID(0x0407);
  std::string ini = Ini({{"Other", "FFFF"}, {"German", "7,1"}, {"US", "9,1"}});
  DeleteFileA(m_folder.Path("German.DLL").c_str());
  EXPECT_EQ("US.DLL", Read(ini));
  DeleteFileA(m_folder.Path("US.DLL").c_str());
  EXPECT_EQ("Other.DLL", Read(ini));

  winsim::InjectFault("FindFirstFileA", ERROR_ACCESS_DENIED);
  EXPECT_EQ("<-1>", Read(ini));
  EXPECT_EQ(0u, winsim::OpenFindHandleCount());
}

}  // namespace
