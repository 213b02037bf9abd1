// O_P10RN1.EXE, the demo driver's status program: reads its command line (and the
// parameter file named there, which the parser deletes after /F) with the resident's own
// parser, records what it received and shows the Printer Status or, with /E, the
// Monitoring Preferences window for the printer.
#include <windows.h>

#include <string>

#include "DemoProgram.h"
#include "cmdline/CommandLine.h"

namespace {

const char PROGRAM_NAME[] = "status";

std::string Flag(int bFlag) { return bFlag ? "1" : "0"; }

RecordFields Describe(const CCommandLine& cmd) {
  return {
      {"printer", cmd.m_szPrinterName}, {"port", cmd.m_szPortName},  {"model", cmd.m_szModelID},
      {"driver", cmd.m_szDriverName},   {"F", cmd.m_szParamFileF},   {"R", Flag(cmd.m_bRemove)},
      {"S", Flag(cmd.m_bSwitchS)},      {"E", Flag(cmd.m_bSwitchE)}, {"C", Flag(cmd.m_bSwitchC)},
      {"U", Flag(cmd.m_bSwitchU)},      {"I", Flag(cmd.m_bInstall)}, {"BE", Flag(cmd.m_bSwitchBE)},
      {"J", cmd.m_szSwitchJ},           {"BH", cmd.m_szSwitchBH},    {"BU", cmd.m_szSwitchBU},
      {"BD", cmd.m_szSwitchBD},         {"BI", cmd.m_szSwitchBI},    {"BN", cmd.m_szSwitchBN},
      {"VQM", cmd.m_szSwitchVQM},
  };
}

std::string SwitchList(const CCommandLine& cmd) {
  std::string list;
  const struct {
    int bSet;
    const char* pszName;
  } flags[] = {{cmd.m_bRemove, "/R"},
               {cmd.m_bSwitchS, "/S"},
               {cmd.m_bSwitchE, "/E"},
               {cmd.m_bSwitchU, "/U"},
               {cmd.m_bSwitchC, "/C"},
               {cmd.m_bSwitchBE, "/BE"},
               {cmd.m_bInstall, "/I"}};
  for (const auto& flag : flags)
    if (flag.bSet) list += std::string(list.empty() ? "" : " ") + flag.pszName;
  return list.empty() ? "(none)" : list;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
  CCommandLine cmd(lpCmdLine);
  AppendRecord(PROGRAM_NAME, Describe(cmd));

  std::string printerKey = *cmd.m_szPrinterName ? cmd.m_szPrinterName : cmd.m_szPortName;
  std::string title = std::string(cmd.m_bSwitchE ? "Monitoring Preferences" : "Printer Status") + " - " + printerKey;
  std::string text = std::string("Printer:\t") + cmd.m_szPrinterName + "\nPort:\t" + cmd.m_szPortName + "\nDriver:\t" +
                     cmd.m_szDriverName + "\nModel:\t" + cmd.m_szModelID + "\nParameter file:\t" + cmd.m_szParamFileF +
                     "\nSwitches:\t" + SwitchList(cmd);
  return RunInfoWindow(hInstance, title, text);
}
