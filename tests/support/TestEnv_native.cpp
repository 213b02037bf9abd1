// Native test environment: a fresh winsim for every test.
#include "support/TestEnv.h"

#include "winsim/control.h"

namespace testenv {
namespace {

class CNativeListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { winsim::Reset(); }
};

}  // namespace

testing::TestEventListener* MakeListener() { return new CNativeListener; }

}  // namespace testenv
