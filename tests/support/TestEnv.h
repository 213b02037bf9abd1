// The test environment as both platforms provide it: natively winsim is reset and
// seeded; under Wine the prefix, its registry and the CUPS queue are real.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testenv {

// Runs around every test: natively it resets winsim; under Wine it removes what the
// tests wrote to the registry and the temporary directory.
testing::TestEventListener* MakeListener();

}  // namespace testenv
