// The demo driver's printer library: finds a printer's monitoring target in the current
// user's registry and writes the driver's tray defaults there. Self-contained: it stands
// for a library of the driver, so it shares no code with the resident.
#include "PrinterLibrary.h"

namespace {

const char VQL_TARGET_KEY[] = "software\\OLMAR\\PRW3\\PRWData\\VQLTarget";
const char VQN_TARGET_KEY[] = "software\\OLMAR\\PRW3\\PRWData\\VQNTarget";
const char NAME_VALUE[] = "Name";
const char TRAY_ICON_ENABLE[] = "TrayIconEnable";
const char TRAY_ICON_SELECTED[] = "TrayIconSelected";
const DWORD DEFAULT_TRAY_ICON_ENABLE = 1;
const DWORD DEFAULT_TRAY_ICON_SELECTED = 0;
const DWORD NAME_SIZE = 260;

class CKey {
public:
  CKey() = default;
  CKey(const CKey&) = delete;
  CKey& operator=(const CKey&) = delete;
  ~CKey() {
    if (m_hKey) RegCloseKey(m_hKey);
  }
  operator HKEY() const { return m_hKey; }
  HKEY* Receive() { return &m_hKey; }

private:
  HKEY m_hKey = nullptr;
};

bool IsEmpty(LPCSTR psz) { return !psz || !*psz; }

// True when the subkey's "Name" is a string equal to pszName without regard to case.
bool HasName(HKEY hFamily, const char* pszSubKey, LPCSTR pszName) {
  CKey key;
  if (RegOpenKeyExA(hFamily, pszSubKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) return false;
  char szName[NAME_SIZE + 1] = {0};  // one more for a terminator the data may lack
  DWORD dwType = 0;
  DWORD cbName = NAME_SIZE;
  if (RegQueryValueExA(key, NAME_VALUE, nullptr, &dwType, reinterpret_cast<BYTE*>(szName), &cbName) != ERROR_SUCCESS)
    return false;
  return dwType == REG_SZ && lstrcmpiA(szName, pszName) == 0;
}

bool SetDword(HKEY hKey, const char* pszValue, DWORD dwData) {
  return RegSetValueExA(hKey, pszValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwData), sizeof(dwData)) ==
         ERROR_SUCCESS;
}

}  // namespace

extern "C" int WINAPI PrSetRegDefaultValue(LPCSTR pszPrinterName, LPCSTR /*pszDriverName*/, LPCSTR pszPortName,
                                           LPCSTR /*pszModelID*/, DWORD /*dwReserved1*/, DWORD /*dwReserved2*/,
                                           DWORD /*dwReserved3*/) {
  const bool bByPort = IsEmpty(pszPrinterName);
  LPCSTR pszName = bByPort ? pszPortName : pszPrinterName;
  if (IsEmpty(pszName)) return PRNLIB_NO_NAME;

  CKey family;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, bByPort ? VQN_TARGET_KEY : VQL_TARGET_KEY, 0, KEY_READ, family.Receive()) !=
      ERROR_SUCCESS)
    return PRNLIB_NO_FAMILY;

  char szSubKey[NAME_SIZE];
  for (DWORD dwIndex = 0;; ++dwIndex) {
    DWORD cchSubKey = sizeof(szSubKey);
    LONG lResult = RegEnumKeyExA(family, dwIndex, szSubKey, &cchSubKey, nullptr, nullptr, nullptr, nullptr);
    // A name too long for the buffer is passed over; any other error (the family deleted
    // under us answers every index alike) ends the search.
    if (lResult == ERROR_MORE_DATA) continue;
    if (lResult != ERROR_SUCCESS) return PRNLIB_NO_TARGET;
    if (!HasName(family, szSubKey, pszName)) continue;

    CKey target;
    if (RegOpenKeyExA(family, szSubKey, 0, KEY_SET_VALUE, target.Receive()) != ERROR_SUCCESS)
      return PRNLIB_WRITE_FAILED;
    if (!SetDword(target, TRAY_ICON_ENABLE, DEFAULT_TRAY_ICON_ENABLE) ||
        !SetDword(target, TRAY_ICON_SELECTED, DEFAULT_TRAY_ICON_SELECTED))
      return PRNLIB_WRITE_FAILED;
    return PRNLIB_OK;
  }
}
