// Wine test environment: the real prefix; nothing to reset yet.
#include "support/TestEnv.h"

namespace testenv {

testing::TestEventListener* MakeListener() { return new testing::EmptyTestEventListener; }

std::string ExistingPrinter() { return "prw3test"; }

}  // namespace testenv
