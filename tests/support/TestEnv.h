// The test environment as both platforms provide it: natively winsim is reset and
// seeded; under Wine the prefix, its registry and the CUPS queue are real.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testenv {

// Runs around every test: natively it resets winsim; under Wine it removes what the
// tests wrote to the registry and the temporary directory.
testing::TestEventListener* MakeListener();

// A printer that exists on both platforms: under Wine the CUPS queue the test script
// adds (port "CUPS:prw3test", driver "prw3test"); natively winsim is seeded alike.
std::string ExistingPrinter();

// Administrator rights while it lives, for set-up that plays the installer or seeds
// HKEY_LOCAL_MACHINE: natively the simulated user may be a standard user; under Wine
// the prefix's user has them already.
class CInstallerRights {
 public:
  CInstallerRights();
  ~CInstallerRights();

 private:
  bool m_bWasAdministrator;
};

}  // namespace testenv
