// Opening a printer by its ANSI name, with the wide-character fallback; reading its record.
#include "cmdline/OpenPrinterByName.h"

#include <cstring>
#include <memory>
#include <new>

BOOL OpenPrinterByName(char* pszPrinterName, HANDLE* phPrinter, PRINTER_DEFAULTSA* pDefaults) {
  const BOOL bResult = OpenPrinterA(pszPrinterName, phPrinter, pDefaults);
  if (bResult && *phPrinter) return bResult;
  const DWORD dwError = GetLastError();
  // Every way back to the ANSI result keeps that call's error for the caller.
  auto AnsiResult = [&]() {
    SetLastError(dwError);
    return bResult;
  };
  if (!pszPrinterName) return AnsiResult();

  OSVERSIONINFOA osvi = {};
  osvi.dwOSVersionInfoSize = sizeof(osvi);
  if (!GetVersionExA(&osvi) || osvi.dwPlatformId < VER_PLATFORM_WIN32_NT) return AnsiResult();

  const size_t cch = strlen(pszPrinterName) + 1;
  std::unique_ptr<WCHAR[]> pszWide(new (std::nothrow) WCHAR[cch]());
  if (!pszWide) return AnsiResult();
  // The UTF-8 code page refuses MB_PRECOMPOSED.
  const DWORD dwFlags = GetACP() == CP_UTF8 ? MB_ERR_INVALID_CHARS : MB_PRECOMPOSED | MB_ERR_INVALID_CHARS;
  SetLastError(0);
  const int nConverted = MultiByteToWideChar(CP_ACP, dwFlags, pszPrinterName, -1, pszWide.get(), static_cast<int>(cch));
  if (nConverted == 0 || GetLastError() == ERROR_NO_UNICODE_TRANSLATION) return AnsiResult();

  PRINTER_DEFAULTSW defaultsW = {};
  if (pDefaults) defaultsW.DesiredAccess = pDefaults->DesiredAccess;
  return OpenPrinterW(pszWide.get(), phPrinter, pDefaults ? &defaultsW : nullptr);
}

std::unique_ptr<BYTE[]> ReadPrinterInfo2(HANDLE hPrinter) {
  DWORD cbNeeded = 0;
  if (GetPrinterA(hPrinter, 2, nullptr, 0, &cbNeeded) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      cbNeeded < sizeof(PRINTER_INFO_2A))
    return nullptr;
  std::unique_ptr<BYTE[]> pBlock(new (std::nothrow) BYTE[cbNeeded]());
  if (!pBlock || !GetPrinterA(hPrinter, 2, pBlock.get(), cbNeeded, &cbNeeded)) return nullptr;
  return pBlock;
}
