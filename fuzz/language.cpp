// Fuzz target: the [Language] section parser, its number rule and the section choice,
// on any INI content. The input's tail chooses the user's language, which of four
// resource libraries exist beside the INI file, the key, the value buffer's size and
// the INI file's path; the rest is the INI file, byte for byte.
#include "profile/LanguageProfile.h"
#include "winsim/control.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const char* const kLibraries[] = {"en.dll", "de.dll", "ja.dll", "fr.dll"};

// The path the program is given, and the folder where the file and its libraries lie
// (a bare name is looked for in the Windows folder).
struct IniFile {
  const char* pszPath;
  const char* pszFolder;
};
const IniFile kIniFiles[] = {{"C:\\drv\\model.ini", "C:\\drv\\"},
                             {"model.ini", "C:\\windows\\"},
                             {"C:\\drv\\sub\\..\\model.ini", "C:\\drv\\"}};
const char* const kKeys[] = {"ResDll", "Other", ""};

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  const LANGID nLangID = fdp.ConsumeIntegral<LANGID>();
  const uint8_t nLibraries = fdp.ConsumeIntegral<uint8_t>();
  const char* pszKey = kKeys[fdp.ConsumeIntegralInRange<size_t>(0, 2)];
  const IniFile& iniFile = kIniFiles[fdp.ConsumeIntegralInRange<size_t>(0, 2)];
  const DWORD cchValue = fdp.ConsumeBool() ? MAX_PATH : fdp.ConsumeIntegralInRange<DWORD>(0, 300);
  const std::string ini = fdp.ConsumeRemainingBytesAsString();

  winsim::Reset();
  winsim::SetUserLangID(nLangID);
  for (size_t i = 0; i < 4; ++i)
    if (nLibraries & (1u << i)) winsim::WriteFileBytes(std::string(iniFile.pszFolder) + kLibraries[i], "MZ");
  winsim::WriteFileBytes(std::string(iniFile.pszFolder) + "model.ini", ini);

  // Exactly the size given, so that a write past it is caught.
  std::unique_ptr<char[]> pValue(new char[cchValue]);
  memset(pValue.get(), 0x5A, cchValue);
  const int nResult = GetLanguageProfileString(pszKey, pValue.get(), &cchValue, iniFile.pszPath);
  if (nResult == 0) {
    const size_t cch = strnlen(pValue.get(), cchValue);
    Check(cch > 0 && cch < cchValue);
  } else {
    Check(nResult == -1);
    for (DWORD i = 0; i < cchValue; ++i) Check(pValue[i] == 0x5A);
  }
  Check(winsim::OpenStreamCount() == 0 && winsim::OpenFindHandleCount() == 0 && winsim::KernelHandleCount() == 0);
  return 0;
}
