// Command-line parsing over winsim, all of it: switches, the parameter file, the spooler
// and the driver key. Three lines: the longest the tokenizer accepts, a start-up entry
// naming a parameter file, and a bare printer name completed from the spooler.
#include "cmdline/CommandLine.h"

#include <benchmark/benchmark.h>

#include <windows.h>

#include <share.h>

#include "base/StrUtil.h"
#include "profile/Contracts.h"
#include "winsim/control.h"

#include <cstdio>
#include <string>

namespace {

const char kPrinter[] = "Office Printer";
const char kPort[] = "LPT1:";
const char kDriver[] = "PRW3 Demo Driver";
const char kModel[] = "M100";

// A fresh winsim with the printer in the spooler and its driver key holding the model id.
bool SeedPlatform() {
  winsim::Reset();
  winsim::AddPrinter(kPrinter, kPort, kDriver);
  const std::string key = std::string(REG_DRIVER_KEY_PREFIX) + kDriver;
  return winsim::ImportRegText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + key + "]\n\"" + REG_MODEL_ID + "\"=\"" + kModel +
                               "\"\n");
}

std::string Declared(const char* pszName, const std::string& value) {
  return "/" + std::string(pszName) + std::to_string(value.size()) + " \"" + value + "\" ";
}

// Every switch, the string ones with declared lengths, /J padded until the text is one
// character short of the tokenizer's buffer (a longer text is refused whole).
std::string LongestLine(std::string* pJob) {
  for (size_t cchJob = 0;; ++cchJob) {
    *pJob = std::string(cchJob, 'j');
    std::string line = Declared("P", kPrinter) + Declared("D", kDriver) + Declared("O", kPort) +
                       Declared("M", kModel) + Declared("BH", "host.example") + Declared("BU", "user") +
                       Declared("BD", "domain") + Declared("BI", "10") + Declared("BN", "Building 2") +
                       Declared("VQM", "queue") + "/S /R /E /U /C /BE /I " + Declared("J", *pJob);
    line.pop_back();
    if (line.size() >= MAX_PATH - 1) return line;
  }
}

void BM_ParseLongestLine(benchmark::State& state) {
  std::string job;
  const std::string line = LongestLine(&job);
  if (!SeedPlatform()) return state.SkipWithError("the driver key could not be seeded");
  if (line.size() != MAX_PATH - 1) return state.SkipWithError("no line of exactly the longest length");
  {
    CCommandLine cl(line.c_str());
    if (job != cl.m_szSwitchJ || !cl.m_bInstall || !cl.m_bSwitchBE || std::string(cl.m_szSwitchVQM) != "queue")
      return state.SkipWithError("the longest line did not parse whole");
  }
  for (auto _ : state) {
    CCommandLine cl(line.c_str());
    benchmark::DoNotOptimize(cl.m_szSwitchJ);
  }
}

// Lines in the file, as the writer leaves them.
int CountLines(const std::string& path) {
  FILE* pFile = _fsopen(path.c_str(), "rt", _SH_DENYNO);
  if (!pFile) return -1;
  int nLines = 0;
  for (int c; (c = std::fgetc(pFile)) != EOF;)
    if (c == '\n') ++nLines;
  std::fclose(pFile);
  return nLines;
}

// The start-up entry: /A names a parameter file with every switch in it, written by the
// program's own writer; /A leaves the file in place, so each iteration reads it again.
void BM_ParseStartupEntry(benchmark::State& state) {
  if (!SeedPlatform()) return state.SkipWithError("the driver key could not be seeded");
  CCommandLine writer;
  writer.m_bRemove = writer.m_bSwitchS = writer.m_bSwitchE = writer.m_bSwitchC = writer.m_bSwitchU = 1;
  writer.m_bSwitchBE = writer.m_bInstall = 1;
  CopyStr(writer.m_szDriverName, kDriver);
  CopyStr(writer.m_szSwitchJ, "job");
  CopyStr(writer.m_szSwitchBH, "host.example");
  CopyStr(writer.m_szSwitchBU, "user");
  CopyStr(writer.m_szSwitchBD, "domain");
  CopyStr(writer.m_szSwitchBI, "10");
  CopyStr(writer.m_szSwitchBN, "Building 2");
  CopyStr(writer.m_szSwitchVQM, "queue");
  if (!writer.WriteParamFile(kPrinter, kPort, kModel)) return state.SkipWithError("no parameter file written");
  const std::string path = std::string(writer.m_szTempDir) + writer.m_szParamFileA;
  if (CountLines(path) != 18) return state.SkipWithError("the parameter file does not hold eighteen lines");
  const std::string line = "/A \"" + path + "\"";
  {
    CCommandLine cl(line.c_str());
    if (std::string(cl.m_szPrinterName) != kPrinter || std::string(cl.m_szSwitchVQM) != "queue" || !cl.m_bInstall)
      return state.SkipWithError("the parameter file was not read");
  }
  for (auto _ : state) {
    CCommandLine cl(line.c_str());
    benchmark::DoNotOptimize(cl.m_szSwitchVQM);
  }
  state.SetLabel(line);
}

// Only the printer's name: the driver and port come from the spooler, the model id from
// the driver key.
void BM_ParseKnownPrinter(benchmark::State& state) {
  if (!SeedPlatform()) return state.SkipWithError("the driver key could not be seeded");
  const std::string line = std::string("/P \"") + kPrinter + "\"";
  {
    CCommandLine cl(line.c_str());
    if (std::string(cl.m_szDriverName) != kDriver || std::string(cl.m_szPortName) != kPort ||
        std::string(cl.m_szModelID) != kModel)
      return state.SkipWithError("the spooler and the driver key did not complete the line");
  }
  for (auto _ : state) {
    CCommandLine cl(line.c_str());
    benchmark::DoNotOptimize(cl.m_szModelID);
  }
}

BENCHMARK(BM_ParseLongestLine);
BENCHMARK(BM_ParseStartupEntry);
BENCHMARK(BM_ParseKnownPrinter);

}  // namespace
