// Fuzz target: the parameter-file reader on any file content. The input's last byte
// chooses /F (read and delete) or /A (read and keep) and whether the file is named by
// its full path or found in the temporary folder; the rest is the file, byte for byte.
#include "cmdline/CommandLine.h"
#include "SeedMachine.h"
#include "winsim/control.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char kTempFile[] = "C:\\users\\user\\Temp\\O_PFUZZ.TMP";

void Check(bool ok) {
  if (!ok) abort();
}

void SeedOnce() {
  static bool bSeeded = false;
  if (bSeeded) return;
  bSeeded = true;
  SeedMachine();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  SeedOnce();
  const uint8_t mode = data[size - 1];
  winsim::WriteFileBytes(kTempFile, std::string(reinterpret_cast<const char*>(data), size - 1));

  const bool bKeep = mode & 1;
  const char* pszName = (mode & 2) ? "O_PFUZZ.TMP" : kTempFile;
  std::string text = std::string(bKeep ? "/A \"" : "/F \"") + pszName + "\"";
  CCommandLine cl(text.c_str());

  Check(winsim::FileExists(kTempFile) == bKeep);
  Check(cl.m_szParamFileF[0] != '\0');
  Check(winsim::OpenStreamCount() == 0 && winsim::OpenKeyCount() == 0 && winsim::OpenPrinterCount() == 0 &&
        winsim::KernelHandleCount() == 0);
  return 0;
}
