// O_PAUX.EXE, the demo driver's auxiliary tool: every auxiliary menu item of the driver
// starts it with its own first argument (/testpage, /cleaning, /menu, ...) followed by
// the printer's switches. It records its command line and shows it.
#include <windows.h>

#include <string>

#include "DemoProgram.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
  AppendRecord("aux", {{"args", lpCmdLine}});
  std::string args = lpCmdLine;
  std::string tool = args.substr(0, args.find(' '));
  return RunInfoWindow(hInstance, "Demo Tool " + tool, "Started with:\n" + args);
}
