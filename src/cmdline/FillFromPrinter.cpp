// CCommandLine: completing the driver and port names from the spooler.
#include "cmdline/CommandLine.h"

#include "app/Scoped.h"
#include "app/StrUtil.h"
#include "cmdline/OpenPrinterByName.h"

#include <winspool.h>

#include <memory>
#include <new>

BOOL CCommandLine::FillFromPrinter() {
  m_nPrinterError = 0;
  if (!m_szPrinterName[0]) return FALSE;

  CPrinterHandle hPrinter;
  if (!OpenPrinterByName(m_szPrinterName, hPrinter.Receive(), nullptr)) {
    m_nPrinterError = GetLastError();
    return FALSE;
  }

  DWORD cbNeeded = 0;
  if (GetPrinterA(hPrinter, 2, nullptr, 0, &cbNeeded) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      cbNeeded < sizeof(PRINTER_INFO_2A))
    return FALSE;
  std::unique_ptr<BYTE[]> pBlock(new (std::nothrow) BYTE[cbNeeded]());
  if (!pBlock) return FALSE;
  if (!GetPrinterA(hPrinter, 2, pBlock.get(), cbNeeded, &cbNeeded)) return FALSE;

  const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(pBlock.get());
  // Names given by switches are never overwritten; a name that does not fit stays empty.
  if (!m_szDriverName[0] && !CopyStr(m_szDriverName, pInfo->pDriverName)) m_szDriverName[0] = '\0';
  if (!m_szPortName[0] && !CopyStr(m_szPortName, pInfo->pPortName)) m_szPortName[0] = '\0';
  return TRUE;
}
