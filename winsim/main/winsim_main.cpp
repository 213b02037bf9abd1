// winsim: the host entry point of a native Windows-style program: the arguments become
// the command-line text WinMain receives (the part after the program's name).
#include <windows.h>

#include "winsim/control.h"

#include <string>

int main(int argc, char** argv) {
  std::string cmdLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) cmdLine += ' ';
    const std::string arg = argv[i];
    const bool quote = arg.find_first_of(" \t") != std::string::npos && arg.find('"') == std::string::npos;
    cmdLine += quote ? "\"" + arg + "\"" : arg;
  }
  return WinMain(winsim::MainModuleHandle(), nullptr, &cmdLine[0], SW_SHOWDEFAULT);
}
