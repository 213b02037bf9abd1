// The driver's names, paths and language section against real INI files and libraries in
// a scratch folder and the real registry; the user's language, the Windows folder, a
// standard user's rights and failed allocations through the imports.
#include "base/RegUtil.h"
#include "profile/DriverPaths.h"
#include "profile/LanguageProfile.h"
#include "support/Fault.h"
#include "support/TestEnv.h"

#include <filesystem>
#include <sstream>

namespace {

const std::string kDir = testenv::TempDir() + "prw3drv\\";
const char kProfileKey[] = "software\\OLMAR\\PRW3\\Profile", kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\Drv1";

// Each test works in a scratch folder, removed with everything in it; what a run that was
// cut short left behind goes first.
class Profile : public testing::Test {
  void SetUp() override {
    testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "software\\OLMAR");
    TearDown();
    CreateDirectoryA(kDir.c_str(), nullptr);
  }
  void TearDown() override { std::filesystem::remove_all(kDir); }
};

std::string Write(const std::string& name, const std::string& bytes = "") {
  testenv::WriteFile(kDir + name, bytes);
  return kDir + name;
}
// The model's INI file, named in the profile key.
void Ini(const std::string& text, const std::string& id = "X1") {
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kProfileKey, id, Write("prw3.INI", text));
}
std::string Stored(const char* name) { return testenv::GetReg(HKEY_LOCAL_MACHINE, kDriverKey, name); }
void Store(const char* name, const std::string& v) { testenv::SetRegString(HKEY_LOCAL_MACHINE, kDriverKey, name, v); }

// A look-up's output, or "<0:...>" with what its field, which ends at a guard page, held
// after a 0 result.
std::string Look(BOOL (*lookUp)(char*, LPCSTR, LPCSTR), const std::string& driver, const char* id = "X1") {
  testenv::CGuarded sz(MAX_PATH);
  strcpy(sz, "-");
  return lookUp(sz, driver.c_str(), id) ? std::string(sz) : "<0:" + std::string(sz) + ">";
}
BOOL DriverName(char* sz, LPCSTR, LPCSTR id) { return GetProfileDriverName(id, sz); }
BOOL IniDir(char* sz, LPCSTR ini, LPCSTR) { return GetIniFileDir(ini, sz); }

TEST_F(Profile, DriverNameComesFromDrvnameOrTheModelIdAndIsNeverCut) {
  for (LPCSTR id : {"X1", LPCSTR()})  // no profile key; no model
    EXPECT_EQ("<0:-><0:->", Look(DriverName, "", id) + Look(GetInstallDir, "Drv1", id)) << !id;
  testenv::SetRegString(HKEY_LOCAL_MACHINE, kProfileKey, "X1", "");
  // An empty profile value.
  EXPECT_EQ("<0:-><0:->", Look(DriverName, "") + Look(GetInstallDir, "Drv1"));
  // 258 characters count as absent, 259 may be cut; "OLMAR " and the model id must fit 259.
  const std::string d257(257, 'd'), m253(253, 'm'), m254(254, 'm');
  const std::tuple<std::string, std::string, std::string> cases[] = {{"", "X1", "OLMAR X1"},
                                                                     {d257, "X1", d257},
                                                                     {d257 + "d", "X1", "OLMAR X1"},
                                                                     {d257 + "dd", "X1", "<0:->"},
                                                                     {"", m253, "OLMAR " + m253},
                                                                     {"", m254, "<0:->"},
                                                                     {"", "", "<0:->"}};
  for (const auto& [drvname, id, expected] : cases) {
    Ini("[Install]\r\nDRVNAME=" + drvname + "\r\n", id);
    EXPECT_EQ(expected, Look(DriverName, "", id.c_str())) << drvname.size() << " " << id.size();
  }
  // A registry string of eight characters stored without their terminator fills eight bytes: refused.
  testenv::SetRegValue(HKEY_CURRENT_USER, kDriverKey, "v", REG_SZ, "ABCDEFGH#", 8);
  testenv::CGuarded eight(8), nine(9);
  EXPECT_FALSE(RegReadKeyString(HKEY_CURRENT_USER, kDriverKey, "v", eight, 8));
  EXPECT_TRUE(RegReadKeyString(HKEY_CURRENT_USER, kDriverKey, "v", nine, 9) && !strcmp(nine, "ABCDEFGH"));
  testenv::SetRegDword(HKEY_CURRENT_USER, kDriverKey, "n", 0x41);
  // A number is no string.
  EXPECT_FALSE(RegReadKeyString(HKEY_CURRENT_USER, kDriverKey, "n", nine, 9));
}

TEST_F(Profile, InstallDirAndStatusProgramAreFoundAndStoredBack) {
  Ini("[Install]\r\nDRVNAME=Drv1\r\n");
  EXPECT_EQ(kDir, Look(GetInstallDir, "Drv1"));
  // The driver key is never created.
  EXPECT_EQ("<missing>", Stored("InstallPath"));
  Store("ModelID", "X1");
  const std::string program = Write("O_P10RN1.EXE"), folder = kDir.substr(0, kDir.size() - 1);
  {  // A standard user, whose HKEY_LOCAL_MACHINE opens for reading only, still finds the paths.
    auto user = FAULT_REPLACE(RegOpenKeyExA, [](auto real, HKEY root, LPCSTR key, DWORD o, REGSAM sam, PHKEY out) {
      return root == HKEY_LOCAL_MACHINE && sam & KEY_SET_VALUE ? ERROR_ACCESS_DENIED : real(root, key, o, sam, out);
    });
    EXPECT_EQ(kDir + program, Look(GetInstallDir, "Drv1") + Look(GetStatusProgramPath, "Drv1"));
    EXPECT_FALSE(SetHKLMString(kDriverKey, "InstallPath", "x"));
  }
  EXPECT_EQ("<missing><missing>", Stored("InstallPath") + Stored("O_PRUN"));
  // Found paths are stored back, "InstallPath" without its backslash; a stale "O_PRUN"
  // gives way to the installation's program.
  for (const std::string& stored : {std::string(), kDir}) {
    Store("InstallPath", stored);
    Store("O_PRUN", kDir + "prw3old.EXE");
    EXPECT_EQ(kDir + program, Look(GetInstallDir, "Drv1") + Look(GetStatusProgramPath, "Drv1"));
    EXPECT_EQ(folder + program, Stored("InstallPath") + Stored("O_PRUN"));
  }
  // A valid one is used wherever it lies, and the driver key alone serves.
  const std::string other = Write("prw3other.EXE");
  EXPECT_TRUE(SetHKLMString(kDriverKey, "O_PRUN", other.c_str()));
  EXPECT_EQ(other + other, Look(GetStatusProgramPath, "Drv1") + Look(GetStatusProgramPath, "Drv1", "X9"));
  testenv::RemoveFile(program);
  Store("O_PRUN", "");
  EXPECT_EQ(kDir + "<0:->", Look(GetInstallDir, "Drv1", "X9") + Look(GetStatusProgramPath, "Drv1"));
  EXPECT_EQ("<0:><0:->", Look(GetInstallDir, "None", "X9") + Look(GetStatusProgramPath, "None", "X9"));
  auto noValue = [](char* sz, LPCSTR driver, LPCSTR id) { return GetDriverRegString(sz, "None", driver, id); };
  EXPECT_EQ("<0:-><0:->", Look(noValue, "") + Look(noValue, std::string(MAX_PATH, 'd')));
  // A stored directory that is gone is not corrected from the INI file.
  Store("InstallPath", kDir + "gone");
  EXPECT_EQ("<0:->", Look(GetInstallDir, "Drv1"));
}

TEST_F(Profile, LibraryPathsJoinTheInstallDirOrADotAndAreNeverCut) {
  Store("ModelID", "X1");
  Ini("[Install]\r\nDRVNAME=Drv1\r\n[X1]\r\nPrnDll=P.DLL\r\n[Language]\r\nUS=9,1\r\n[US]\r\nResDll=R.DLL\r\n");
  EXPECT_EQ(kDir + "P.DLL", Look(GetPrnDllPath, ""));
  // Stored under the resolved driver name.
  EXPECT_EQ(kDir.substr(0, kDir.size() - 1), Stored("InstallPath"));
  Write("R.DLL");  // the language section's library must exist: see the language test
  EXPECT_EQ(kDir + "R.DLL", Look(GetResDllPath, "Drv1"));
  const std::string tooLong(MAX_PATH, 'd');  // a driver name passed that cannot be held
  for (auto lookUp : {GetPrnDllPath, GetResDllPath})
    EXPECT_EQ("<0:-><0:->", Look(lookUp, "Drv1", "X9") + Look(lookUp, tooLong));
  Store("InstallPath", kDir + "gone");
  EXPECT_EQ(".P.DLL", Look(GetPrnDllPath, "Drv1"));
  Store("InstallPath", kDir);
  // The folder and the name must fit 259 characters; a name of 258 or 259 never does.
  const size_t fits = MAX_PATH - 1 - kDir.size();
  for (size_t length : {fits, fits + 1, size_t{258}, size_t{259}}) {
    Ini("[X1]\r\nPrnDll=" + std::string(length, 'p') + "\r\n");
    EXPECT_EQ(length == fits ? kDir + std::string(length, 'p') : "<0:->", Look(GetPrnDllPath, "Drv1")) << length;
  }
  // Cut to 259 characters, the status program's path would name an existing file; an
  // install path of 259 characters leaves no room for the backslash.
  const std::string deep = kDir + std::string(MAX_PATH - 1 - kDir.size() - 12, 'f');
  CreateDirectoryA(deep.c_str(), nullptr);
  Store("InstallPath", deep);
  Write(deep.substr(kDir.size()) + "\\O_P10RN1.EX");
  EXPECT_EQ("<0:->", Look(GetStatusProgramPath, "Drv1"));
  Store("InstallPath", deep + "\\O_P10RN1.EX");
  EXPECT_EQ("<0:->", Look(GetInstallDir, "Drv1"));
  // A bare INI file name means the Windows folder. No folder in an empty, a drive-relative
  // or an overlong INI file name, nor with no Windows folder or one that leaves no room for
  // the backslash.
  char szWindows[MAX_PATH] = "";
  EXPECT_EQ(std::string(szWindows, GetWindowsDirectoryA(szWindows, MAX_PATH)) + "\\", Look(IniDir, "prw3.ini"));
  for (const std::string& name : {std::string(), std::string("C:prw3.ini"), tooLong + "\\prw3.ini"})
    EXPECT_EQ("<0:->", Look(IniDir, name)) << name;
  for (UINT length : {0u, 259u}) {
    auto folder = FAULT_REPLACE(GetWindowsDirectoryA, [&](auto, LPSTR sz, UINT) {
      return UINT(strlen(strcpy(sz, std::string(length, 'w').c_str())));
    });
    EXPECT_EQ("<0:->", Look(IniDir, "prw3.ini")) << length;
  }
}

// The "Id" (or another key) of the section chosen for the user's language, read into a
// field of cch characters at a guard page; "<-1>" leaves the field untouched. Every file
// search is closed again.
std::string Read(const std::string& ini, LANGID user, DWORD cch = MAX_PATH, const char* key = "Id") {
  auto language = FAULT_REPLACE(GetUserDefaultLangID, [user](auto) { return user; });
  fault::CHook find("FindFirstFileA"), close("FindClose");
  testenv::CGuarded sz(cch);
  sz[0] = 'x';
  const int result = GetLanguageProfileString(key, sz, &cch, ini.c_str());
  EXPECT_EQ(find.Successes(), close.Calls());
  return result == 0 ? std::string(sz) : sz[0] == 'x' ? "<-1>" : "<-1 but written>";
}
// An INI file from "line>library|...": each [Language] line and its section's "ResDll"
// (without ">library" the INI file itself); each section's "Id" is its name.
std::string Lang(const std::string& text) {
  static int n = 0;
  const std::string ini = "prw3lang" + std::to_string(++n) + ".ini";
  std::string listing = "[Language]\r\n", sections;
  std::istringstream entries(text);
  for (std::string entry; std::getline(entries, entry, '|');) {
    const std::string line = entry.substr(0, entry.find('>')), name = line.substr(0, line.find('='));
    listing += line + "\r\n";
    const std::string library = line == entry ? ini : entry.substr(line.size() + 1);
    sections += "[" + name + "]\r\nResDll=" + library + "\r\nId=" + name + "\r\n";
  }
  return Write(ini, listing + sections);
}

TEST_F(Profile, TheUsersLanguageThenUsEnglishThenTheFirstSectionWhoseLibraryExists) {
  CreateDirectoryA((kDir + "dir.DLL").c_str(), nullptr);
  const std::string many =
      "DeCH=7,2|DeDE=0x07, 1|DeAT=0 7,3,ignored|EnGB=9,2|EnUS=9,1|EsES=0A,1|EsMX=0a,2|EsAR=0 a,B|"
      "JaJP=0x11,1|JaXX=10011,2|FrFR=0C,F|TrTR=1F,1|KkKZ=3f,1";
  const std::string demo = "ENGLISH=9,1|GERMAN=7,1", longName(260, 'n');
  const std::tuple<std::string, LANGID, const char*> cases[] = {
      {many, 0x0407, "DeDE"},
      {many, 0x0C07, "DeAT"},
      {many, 0x1007, "DeCH"},
      {many, 0x0809, "EnGB"},
      {many, 0x0410, "EnGB"},
      {many, 0x040A, "EsES"},
      {many, 0x080A, "EsMX"},
      {many, 0x2C0A, "EsAR"},
      {many, 0x0411, "JaJP"},
      {many, 0x0811, "JaXX"},
      {many, 0x3C0C, "FrFR"},
      {many, 0x041F, "TrTR"},
      {many, 0x043F, "KkKZ"},
      {demo, 0x0807, "GERMAN"},
      {demo, 0x0410, "ENGLISH"},
      {"Fr=C,1|Ja=11,1", 0x0410, "Fr"},
      // Missing libraries (FFFF is no language); a folder or a wildcard's match counts.
      {"De=7,1>no.DLL|En=9,1|Other=FFFF", 0x0407, "En"},
      {"De=7,1>no.DLL|En=9,1>no.DLL|W=FFFF>no*.DLL|Dir=FFFF>dir.DLL|Other=FFFF", 0x0407, "Dir"},
      {"De=7,1>no.DLL|W=FFFF>d*.DLL|Other=FFFF", 0x0407, "W"},
      {"De=7,1>no.DLL|Line Without Numbers|Other=FFFF", 0x0407, "Line Without Numbers"},
      // Nothing selectable; a section name over 259 characters ends the selection.
      {"", 0x0409, "<-1>"},
      {"A=9,1>", 0x0409, "<-1>"},
      {"A=9,1>no.DLL", 0x0409, "<-1>"},
      {longName + "=9,1|A=9,1", 0x0409, "<-1>"}};
  for (const auto& [text, user, expected] : cases) EXPECT_EQ(expected, Read(Lang(text), user)) << text;
  // Listings are read whole at every buffer boundary: filler lines of 10 bytes with their
  // zero, then the only entry whose library exists; just below, at and above 260 less 2
  // and 520 less 2 bytes.
  for (size_t total : {257u, 258u, 259u, 517u, 518u, 519u, 800u}) {
    std::string text;
    for (size_t fill = total - 10; fill >= 10; fill -= 10) text += "F" + std::to_string(10000 + fill) + "=FF>no.DLL|";
    const std::string last = "Last" + std::string((total - 10) % 10, 'z');
    EXPECT_EQ(last, Read(Lang(text + last + "=FFFF"), 0x0409)) << total;
  }
  // A value that fills the caller's field may be cut; a missing one is no value.
  const std::string ini = Lang("Six456=9,1");
  EXPECT_EQ("Six456|<-1>|<-1>|<-1>",
            Read(ini, 0x0409, 8) + "|" + Read(ini, 0x0409, 7) + "|" + Read(ini, 0x0409, 1) + "|" +
                Read(ini, 0x0409, MAX_PATH, "Missing"));
  for (unsigned nth : {1u, 2u, 3u}) {  // the listing, its lines, the value
    fault::CFailNew noBlock(nth);
    EXPECT_EQ("<-1>", Read(ini, 0x0409)) << nth;
  }
  fault::CHook noSearch("FindFirstFileA", ERROR_ACCESS_DENIED);
  EXPECT_EQ("<-1>", Read(ini, 0x0409));
}

}  // namespace
