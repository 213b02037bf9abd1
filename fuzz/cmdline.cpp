// Fuzz target: the switch tokenizer over any text (every switch index until -1), and a
// whole command-line parse of the same text, with its parameter file, spooler and
// registry look-ups running against a freshly seeded winsim.
#include "cmdline/CommandLine.h"
#include "SeedMachine.h"
#include "winsim/control.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The tokenizer with its text set directly, as the parser's constructor would leave it.
class CTokenizerUnderTest : public CSwitchTokenizer {
public:
  CTokenizerUnderTest(const uint8_t* data, size_t size) {
    memcpy(m_szCommandLine, data, std::min(size, sizeof(m_szCommandLine) - 1));
  }
};

void Check(bool ok) {
  if (!ok) abort();
}

void TokenizeAll(const uint8_t* data, size_t size) {
  CTokenizerUnderTest tokenizer(data, size);
  // A text of 259 characters holds at most 130 switches; more means the scan loops.
  for (int nIndex = 0; nIndex < 200; ++nIndex) {
    char szName[MAX_PATH] = {0};
    char szValue[MAX_PATH] = {0};
    int nResult = tokenizer.GetSwitch(nIndex, szName, szValue);
    Check(strnlen(szName, MAX_PATH) < MAX_PATH && strnlen(szValue, MAX_PATH) < MAX_PATH);
    if (nResult == -1) {
      Check(!szName[0] && !szValue[0]);
      return;
    }
    Check(nResult >= 0);
  }
  abort();
}

void Seed() {
  SeedMachine();
  winsim::WriteFileBytes("C:\\users\\user\\Temp\\O_P1.TMP", "/P \"Office Printer\"\r\n/M \"M2\"\r\n/I\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TokenizeAll(data, size);

  Seed();
  std::string text(reinterpret_cast<const char*>(data), size);
  CCommandLine cl(text.c_str());
  Check(cl.m_bSwitchBE == 0 || (cl.m_szSwitchBH[0] && cl.m_szSwitchBU[0] && cl.m_szSwitchBD[0] && cl.m_szSwitchBI[0]));
  Check(winsim::OpenStreamCount() == 0 && winsim::OpenKeyCount() == 0 && winsim::OpenPrinterCount() == 0 &&
        winsim::KernelHandleCount() == 0);
  return 0;
}
