// CCommandLine: completing the driver and port names from the spooler.
#include "cmdline/CommandLine.h"

#include "base/Scoped.h"
#include "base/StrUtil.h"
#include "cmdline/OpenPrinterByName.h"

#include <winspool.h>

BOOL CCommandLine::FillFromPrinter() {
  m_nPrinterError = 0;
  if (!m_szPrinterName[0]) return FALSE;

  CPrinterHandle hPrinter;
  if (!OpenPrinterByName(m_szPrinterName, hPrinter.Receive(), nullptr)) {
    m_nPrinterError = GetLastError();
    return FALSE;
  }

  std::unique_ptr<BYTE[]> pBlock = ReadPrinterInfo2(hPrinter);
  if (!pBlock) return FALSE;
  const PRINTER_INFO_2A* pInfo = reinterpret_cast<const PRINTER_INFO_2A*>(pBlock.get());
  // Names given by switches are never overwritten; a name that does not fit stays empty.
  if (!m_szDriverName[0] && !CopyStr(m_szDriverName, pInfo->pDriverName)) m_szDriverName[0] = '\0';
  if (!m_szPortName[0] && !CopyStr(m_szPortName, pInfo->pPortName)) m_szPortName[0] = '\0';
  return TRUE;
}
