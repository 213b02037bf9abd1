// winsim print spooler: the printers tests add, opened by name and described by a
// level-2 record. Owns the printers and the objects behind open printer handles.
#include <winspool.h>

#include "core.h"
#include "paths.h"

#include "winsim/control.h"

#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using namespace winsim::detail;

namespace {

const char kPrinterKind[] = "printer";

struct Printer {
  std::string name;
  std::string port;
  bool hasDriver;
  std::string driver;
  bool hasProcessor;
  std::string processor;
};

// A null printer is the local print server, which a null name opens.
struct PrinterHandle {
  std::shared_ptr<const Printer> printer;
};

struct SpoolerState {
  std::vector<std::shared_ptr<const Printer>> printers;
  std::map<void*, std::unique_ptr<PrinterHandle>> handles;
};

SpoolerState& State() {
  static SpoolerState s;
  return s;
}

const ResetHook kReset([] { State() = SpoolerState{}; });

std::shared_ptr<const Printer> FindPrinter(const std::string& name) {
  for (const auto& p : State().printers)
    if (FoldEqual(p->name, name)) return p;
  return nullptr;
}

BOOL Open(const std::shared_ptr<const Printer>& printer, LPHANDLE phPrinter) {
  auto handle = std::make_unique<PrinterHandle>(PrinterHandle{printer});
  void* raw = handle.get();
  State().handles[raw] = std::move(handle);
  *phPrinter = NewHandle(kPrinterKind, raw, [](void* object) { State().handles.erase(object); }, false);
  return TRUE;
}

// name null: the print server. A name that the system code page cannot hold
// (unrepresentable) matches no printer.
BOOL OpenByName(const char* api, const std::string* name, bool representable, LPHANDLE phPrinter) {
  if (phPrinter) *phPrinter = nullptr;
  if (DWORD e = Fault(api)) return Fail(FALSE, e);
  if (!phPrinter) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  if (!name) return Open(nullptr, phPrinter);
  if (name->empty()) return Fail(FALSE, ERROR_INVALID_PARAMETER);
  std::shared_ptr<const Printer> printer = representable ? FindPrinter(*name) : nullptr;
  if (!printer) return Fail(FALSE, ERROR_INVALID_PRINTER_NAME);
  return Open(printer, phPrinter);
}

}  // namespace

namespace winsim {

void AddPrinter(const std::string& name, const std::string& port, const char* driver, const char* printProcessor) {
  RemovePrinter(name);
  State().printers.push_back(std::make_shared<const Printer>(
      Printer{name, port, driver != nullptr, driver ? driver : "", printProcessor != nullptr,
              printProcessor ? printProcessor : ""}));
}

bool RemovePrinter(const std::string& name) {
  auto& printers = State().printers;
  for (auto it = printers.begin(); it != printers.end(); ++it) {
    if (FoldEqual((*it)->name, name)) {
      printers.erase(it);
      return true;
    }
  }
  return false;
}

size_t OpenPrinterCount() { return LiveHandleCount(kPrinterKind); }

}  // namespace winsim

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA) {
  std::string name = pPrinterName ? pPrinterName : "";
  return OpenByName("OpenPrinterA", pPrinterName ? &name : nullptr, true, phPrinter);
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
  std::string name;
  bool representable = true;
  for (LPCWSTR p = pPrinterName; p && *p; ++p) {
    int byte = 0;
    for (int c = 1; c < 256 && !byte; ++c)
      if (Cp1252ToWide(static_cast<unsigned char>(c)) == *p) byte = c;
    representable = representable && byte;
    name += static_cast<char>(byte);
  }
  return OpenByName("OpenPrinterW", pPrinterName ? &name : nullptr, representable, phPrinter);
}

BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (DWORD e = Fault("GetPrinterA")) return Fail(FALSE, e);
  auto* handle = static_cast<PrinterHandle*>(HandleObject(hPrinter, kPrinterKind));
  if (!handle || !handle->printer) return Fail(FALSE, ERROR_INVALID_HANDLE);
  if (Level != 2) return Fail(FALSE, ERROR_INVALID_LEVEL);

  const Printer& p = *handle->printer;
  static const std::string kEmpty;
  static const std::string kRaw = "RAW";
  using Field = LPSTR PRINTER_INFO_2A::*;
  const std::pair<Field, const std::string*> fields[] = {
      {&PRINTER_INFO_2A::pPrinterName, &p.name},
      {&PRINTER_INFO_2A::pShareName, &kEmpty},
      {&PRINTER_INFO_2A::pPortName, &p.port},
      {&PRINTER_INFO_2A::pDriverName, p.hasDriver ? &p.driver : nullptr},
      {&PRINTER_INFO_2A::pComment, &kEmpty},
      {&PRINTER_INFO_2A::pLocation, &kEmpty},
      {&PRINTER_INFO_2A::pSepFile, &kEmpty},
      {&PRINTER_INFO_2A::pPrintProcessor, p.hasProcessor ? &p.processor : nullptr},
      {&PRINTER_INFO_2A::pDatatype, &kRaw},
      {&PRINTER_INFO_2A::pParameters, &kEmpty},
  };
  DWORD need = sizeof(PRINTER_INFO_2A);
  for (const auto& field : fields)
    if (field.second) need += static_cast<DWORD>(field.second->size() + 1);
  if (pcbNeeded) *pcbNeeded = need;
  if (!pPrinter || cbBuf < need) return Fail(FALSE, ERROR_INSUFFICIENT_BUFFER);

  // The strings follow the record inside the caller's block.
  auto* info = reinterpret_cast<PRINTER_INFO_2A*>(pPrinter);
  *info = PRINTER_INFO_2A{};
  char* next = reinterpret_cast<char*>(pPrinter) + sizeof(PRINTER_INFO_2A);
  for (const auto& field : fields) {
    if (!field.second) continue;
    std::memcpy(next, field.second->c_str(), field.second->size() + 1);
    info->*field.first = next;
    next += field.second->size() + 1;
  }
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  if (DWORD e = Fault("ClosePrinter")) return Fail(FALSE, e);
  if (!CloseHandleOf(hPrinter, kPrinterKind)) return Fail(FALSE, ERROR_INVALID_HANDLE);
  return TRUE;
}
