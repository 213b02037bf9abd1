// Wine test environment: the real prefix. After every test the keys the program's
// tests write are removed, so tests do not see each other's state.
#include "support/TestEnv.h"

#include "support/TestRegistry.h"

#include <windows.h>

namespace testenv {
namespace {

class CWineListener : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    DeleteRegTree(HKEY_LOCAL_MACHINE, "software\\OLMAR");
    DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
  }
};

}  // namespace

testing::TestEventListener* MakeListener() { return new CWineListener; }

std::string ExistingPrinter() { return "prw3test"; }

CInstallerRights::CInstallerRights() : m_bWasAdministrator(true) {}
CInstallerRights::~CInstallerRights() = default;

}  // namespace testenv
