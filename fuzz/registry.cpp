// Fuzz target: registry values of any type and size where the program reads them. A
// valid driver installation is seeded, then the input overwrites (or deletes) the values
// the program reads with any type and any bytes, and every reading entry point runs:
// the debug switch, the model id, the profile's INI path, "InstallPath", "O_PRUN", the
// targets' "Name" (also of further targets the input adds) and the tray settings a frame
// reads from its target.
#include "app/DebugLog.h"
#include "base/RegUtil.h"
#include "base/StrUtil.h"
#include "cmdline/CommandLine.h"
#include "profile/Contracts.h"
#include "profile/DriverPaths.h"
#include "targets/TargetRegistry.h"
#include "winsim/control.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kDriver[] = "OLMAR Drv";
const char kModel[] = "M1";
const char kPrinter[] = "Office Printer";
const char kPort[] = "LPT1:";
const char kDriverKey[] = "software\\OLMAR\\PRW3\\Driver\\OLMAR Drv";
const char kVqlTarget[] = "software\\OLMAR\\PRW3\\PRWData\\VQLTarget\\P0000000000000000";
const char kVqnTarget[] = "software\\OLMAR\\PRW3\\PRWData\\VQNTarget\\P0000000000000000";

struct ReadValue {
  HKEY hRoot;
  const char* pszKey;
  const char* pszName;
};

const ReadValue kValues[] = {
    {HKEY_LOCAL_MACHINE, REG_DEBUG_KEY, REG_DEBUG_VALUE},
    {HKEY_LOCAL_MACHINE, kDriverKey, REG_MODEL_ID},
    {HKEY_LOCAL_MACHINE, REG_PROFILE_KEY, kModel},
    {HKEY_LOCAL_MACHINE, kDriverKey, REG_INSTALL_PATH},
    {HKEY_LOCAL_MACHINE, kDriverKey, REG_STATUS_PROGRAM},
    {HKEY_CURRENT_USER, kVqlTarget, REG_TARGET_NAME},
    {HKEY_CURRENT_USER, kVqlTarget, TRAY_ICON_SELECTED},
    {HKEY_CURRENT_USER, kVqlTarget, TRAY_ICON_ENABLE},
    {HKEY_CURRENT_USER, kVqnTarget, REG_TARGET_NAME},
};
const size_t kValueCount = sizeof(kValues) / sizeof(kValues[0]);

// The usual types; any other byte of the choice takes a type from the input.
const DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD};

void Check(bool ok) {
  if (!ok) abort();
}

bool NoLeaks() {
  return winsim::OpenKeyCount() == 0 && winsim::KernelHandleCount() == 0 && winsim::OpenStreamCount() == 0 &&
         winsim::OpenFindHandleCount() == 0 && winsim::OpenPrinterCount() == 0 && winsim::LoadedModuleCount() == 0;
}

int WINAPI SetDefaults(LPCSTR, LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, DWORD) { return 0; }

void SeedInstallation() {
  winsim::Reset();
  winsim::AddPrinter(kPrinter, kPort, kDriver);
  winsim::ImportRegText(
      "REGEDIT4\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLMAR\\PRW3\\Debug]\n"
      "\"O_PIC\"=dword:00000001\n"
      "[HKEY_LOCAL_MACHINE\\software\\OLMAR\\PRW3\\Profile]\n"
      "\"M1\"=\"C:\\\\drv\\\\m1.ini\"\n"
      "[HKEY_LOCAL_MACHINE\\software\\OLMAR\\PRW3\\Driver\\OLMAR Drv]\n"
      "\"ModelID\"=\"M1\"\n"
      "\"InstallPath\"=\"C:\\\\drv\"\n"
      "\"O_PRUN\"=\"C:\\\\drv\\\\O_P10RN1.EXE\"\n"
      "[HKEY_CURRENT_USER\\software\\OLMAR\\PRW3\\PRWData\\VQLTarget\\P0000000000000000]\n"
      "\"Name\"=\"Office Printer\"\n"
      "\"TrayIconSelected\"=dword:00000001\n"
      "\"TrayIconEnable\"=dword:00000001\n"
      "[HKEY_CURRENT_USER\\software\\OLMAR\\PRW3\\PRWData\\VQNTarget\\P0000000000000000]\n"
      "\"Name\"=\"LPT1:\"\n");
  winsim::WriteFileBytes("C:\\drv\\m1.ini",
                         "[Install]\r\nDRVNAME=OLMAR Drv\r\n[M1]\r\nPrnDll=prn.dll\r\n"
                         "[Language]\r\nen=9,1\r\n[en]\r\nResDll=en.dll\r\n");
  winsim::WriteFileBytes("C:\\drv\\en.dll", "MZ");
  winsim::WriteFileBytes("C:\\drv\\O_P10RN1.EXE", "MZ");
  winsim::ModuleImage image;
  image.exports[PR_SET_REG_DEFAULT_VALUE] = winsim::AsExport(&SetDefaults);
  winsim::RegisterModule("C:\\drv\\prn.dll", image);
}

// Sizes around the program's buffers: 4-byte switches, MAX_PATH strings, the 1024-byte
// read buffer.
const size_t kDataSizes[] = {0, 1, 3, 4, 5, 8, 258, 259, 260, 261, 1023, 1024, 1025};

// The input's bytes, or one byte repeated to a size that matters.
std::vector<uint8_t> ConsumeData(FuzzedDataProvider& fdp) {
  if (fdp.ConsumeBool()) return fdp.ConsumeBytes<uint8_t>(fdp.ConsumeIntegralInRange<size_t>(0, 2048));
  const size_t cb = kDataSizes[fdp.ConsumeIntegralInRange<size_t>(0, sizeof(kDataSizes) / sizeof(size_t) - 1)];
  return std::vector<uint8_t>(cb, fdp.ConsumeIntegral<uint8_t>());
}

// Overwrites one of the values read with the input's type and bytes, or deletes it; or
// adds another target, under a subkey name of any length, for the look-up and the purge.
void SeedValue(FuzzedDataProvider& fdp) {
  const size_t nSlot = fdp.ConsumeIntegralInRange<size_t>(0, kValueCount);
  ReadValue value = {HKEY_CURRENT_USER, nullptr, REG_TARGET_NAME};
  std::string extraKey;
  if (nSlot < kValueCount) {
    value = kValues[nSlot];
  } else {
    extraKey = std::string(fdp.ConsumeBool() ? REG_VQN_TARGET_KEY : REG_VQL_TARGET_KEY) + "\\" +
               fdp.ConsumeRandomLengthString(300);
    value.pszKey = extraKey.c_str();
  }
  const uint8_t nTypeChoice = fdp.ConsumeIntegral<uint8_t>();
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(value.hRoot, value.pszKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr) !=
      ERROR_SUCCESS)
    return;
  if (nTypeChoice == 0xFF) {
    RegDeleteValueA(hKey, value.pszName);
  } else {
    const DWORD dwType = nTypeChoice < sizeof(kTypes) / sizeof(kTypes[0]) ? kTypes[nTypeChoice]
                                                                           : fdp.ConsumeIntegral<DWORD>();
    std::vector<uint8_t> bytes = ConsumeData(fdp);
    const DWORD cbData = static_cast<DWORD>(bytes.size());
    // The call looks at the byte after a string's count for its terminator, as the
    // platform's does: that byte must be there, zero or not.
    bytes.push_back(fdp.ConsumeBool() ? 0 : 'x');
    RegSetValueExA(hKey, value.pszName, 0, dwType, bytes.data(), cbData);
  }
  RegCloseKey(hKey);
}

// A MAX_PATH output buffer of its own, so that a write past it is caught; on success
// it must hold a terminated string.
class COutBuffer {
public:
  COutBuffer() : m_p(new char[MAX_PATH]) { memset(m_p.get(), 0x5A, MAX_PATH); }
  char* Get() { return m_p.get(); }
  void CheckString() const { Check(strnlen(m_p.get(), MAX_PATH) < MAX_PATH); }
  // For outputs written only on some ways out: untouched, or a terminated string.
  void CheckStringOrUntouched() const {
    for (size_t i = 0; i < MAX_PATH; ++i)
      if (m_p[i] != 0x5A) return CheckString();
  }

private:
  std::unique_ptr<char[]> m_p;
};

void ReadTraySettings(const char* pszKeyPath) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, pszKeyPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
  DWORD dwSelected = 0;
  DWORD dwEnable = 1;
  RegReadRaw4(hKey, TRAY_ICON_SELECTED, &dwSelected);
  RegReadRaw4(hKey, TRAY_ICON_ENABLE, &dwEnable);
  RegCloseKey(hKey);
}

void RunReaders() {
  DebugLogInit(DEBUG_LOG_PATH, REG_DEBUG_VALUE);
  DebugLogWrite("fuzz");
  DebugLogInit("", REG_DEBUG_VALUE);
  Check(NoLeaks());

  CCommandLine cl("/P \"Office Printer\"");
  Check(strnlen(cl.m_szModelID, MAX_PATH) < MAX_PATH);
  Check(NoLeaks());

  COutBuffer out;
  if (GetProfileDriverName(kModel, out.Get())) out.CheckString();
  for (const char* pszDriver : {kDriver, ""}) {
    for (const char* pszName : {REG_INSTALL_PATH, REG_STATUS_PROGRAM, REG_MODEL_ID}) {
      COutBuffer value;
      if (GetDriverRegString(value.Get(), pszName, pszDriver, kModel)) value.CheckString();
    }
    COutBuffer dir;
    if (GetInstallDir(dir.Get(), pszDriver, kModel)) dir.CheckString();
    COutBuffer status;
    if (GetStatusProgramPath(status.Get(), pszDriver, kModel)) status.CheckString();
    COutBuffer prnDll;
    if (GetPrnDllPath(prnDll.Get(), pszDriver, kModel)) prnDll.CheckString();
    COutBuffer resDll;
    if (GetResDllPath(resDll.Get(), pszDriver, kModel)) resDll.CheckString();
  }
  Check(NoLeaks());

  COutBuffer target;
  if (FindTargetKey(kPrinter, FALSE, target.Get()) == TARGET_FOUND) {
    target.CheckString();
    ReadTraySettings(target.Get());
  }
  COutBuffer portTarget;
  if (FindTargetKey(kPort, TRUE, portTarget.Get()) == TARGET_FOUND) portTarget.CheckString();
  Check(NoLeaks());

  int nNameKind = -1;
  COutBuffer created;
  GetTargetKey(kPrinter, kPort, kModel, &nNameKind, created.Get());
  Check(nNameKind == 0);
  COutBuffer createdPort;
  GetTargetKey("", kPort, kModel, &nNameKind, createdPort.Get());
  Check(nNameKind == 1);
  created.CheckStringOrUntouched();
  createdPort.CheckStringOrUntouched();
  Check(NoLeaks());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider fdp(data, size);
  SeedInstallation();
  while (fdp.remaining_bytes() > 0) SeedValue(fdp);
  RunReaders();
  return 0;
}
