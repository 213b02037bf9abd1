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
  std::string Ini(const std::string& file, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string listing = "[Language]\r\n", sections;
    for (const auto& entry : entries) {
      listing += entry.first + "=" + entry.second + "\r\n";
      sections += "[" + entry.first + "]\r\nResDll=" + entry.first + ".DLL\r\n";
      m_folder.Write(entry.first + ".DLL");
    }
    return m_folder.WriteIni(listing + sections, file);
  }
  std::string Read(const std::string& ini, LANGID user) {
    winsim::SetUserLangID(user);
    char sz[MAX_PATH] = "";
    DWORD cch = sizeof(sz);
    return GetLanguageProfileString("ResDll", sz, &cch, ini.c_str()) == 0 ? sz : "<-1>";
  }

  profiletest::CDriverFolder m_folder;
};

TEST_F(LanguageProfileNativeTest, ExactThenSamePrimaryThenEnglishThenFirstWithHexNumbers) {
  const std::string many = Ini("many.ini", {{"DeCH", "7,2"}, {"DeDE", "0x07, 1"}, {"DeAT", "0 7,3,ignored"}, {"EnGB", "9,2"},
                                {"EnUS", "9,1"}, {"EsES", "0A,1"}, {"EsMX", "0a,2"}, {"EsAR", "0 a,B"},
                                {"JaJP", "0x11,1"}, {"JaXX", "10011,2"}, {"FrFR", "0C,F"}, {"TrTR", "1F,1"},
                                {"KkKZ", "3f,1"}});
  const std::string demo = Ini("demo.ini", {{"ENGLISH", "9,1"}, {"GERMAN", "7,1"}});
  const std::string noEnglish = Ini("fr.ini", {{"Fr", "C,1"}, {"Ja", "11,1"}});
  const struct {
    const std::string& ini;
    LANGID user;
    const char* expected;
  } cases[] = {
      {many, 0x0407, "DeDE"}, {many, 0x0C07, "DeAT"}, {many, 0x1007, "DeCH"}, {many, 0x0809, "EnGB"},
      {many, 0x0410, "EnGB"}, {many, 0x040A, "EsES"}, {many, 0x080A, "EsMX"}, {many, 0x2C0A, "EsAR"},
      {many, 0x0411, "JaJP"}, {many, 0x0811, "JaXX"}, {many, 0x3C0C, "FrFR"}, {many, 0x041F, "TrTR"},
      {many, 0x043F, "KkKZ"}, {demo, 0x0807, "GERMAN"}, {demo, 0x0410, "ENGLISH"}, {noEnglish, 0x0410, "Fr"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(c.expected) + ".DLL", Read(c.ini, c.user)) << std::hex << c.user;
}

TEST_F(LanguageProfileNativeTest, MissingLibraryFallsToUsEnglishThenToFileOrder) {
  const std::string ini = Ini("X1.INI", {{"Other", "FFFF"}, {"German", "7,1"}, {"US", "9,1"}});
  DeleteFileA(m_folder.Path("German.DLL").c_str());
  EXPECT_EQ("US.DLL", Read(ini, 0x0407));
  DeleteFileA(m_folder.Path("US.DLL").c_str());
  EXPECT_EQ("Other.DLL", Read(ini, 0x0407));
  winsim::InjectFault("FindFirstFileA", ERROR_ACCESS_DENIED);
  EXPECT_EQ("<-1>", Read(ini, 0x0407));
  EXPECT_EQ(0u, winsim::OpenFindHandleCount());
}

}  // namespace
