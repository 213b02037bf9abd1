// Native test environment: a fresh winsim for every test, seeded with the printer
// the Wine environment has.
#include "support/TestEnv.h"

#include "winsim/control.h"

namespace testenv {
namespace {

const char kExistingPrinter[] = "prw3test";

class CNativeListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override {
    winsim::Reset();
    // As Wine reports the CUPS queue.
    winsim::AddPrinter(kExistingPrinter, "CUPS:prw3test", "prw3test", "WinPrint");
  }
};

}  // namespace

testing::TestEventListener* MakeListener() { return new CNativeListener; }

std::string ExistingPrinter() { return kExistingPrinter; }

CInstallerRights::CInstallerRights() : m_bWasAdministrator(winsim::IsAdministrator()) {
  winsim::SetAdministrator(true);
}
CInstallerRights::~CInstallerRights() { winsim::SetAdministrator(m_bWasAdministrator); }

}  // namespace testenv
