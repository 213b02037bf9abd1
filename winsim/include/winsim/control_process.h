// winsim test controls for processes: what CreateProcessA was asked to start and what
// it resolved the program to.
#pragma once

#include <string>
#include <vector>

namespace winsim {

struct StartedProcess {
  std::string applicationName;  // as passed ("" for none)
  std::string commandLine;      // as passed
  std::string program;          // the file the platform's rules chose
};

// Every successful CreateProcessA since the last Reset, in order.
const std::vector<StartedProcess>& StartedProcesses();

}  // namespace winsim
