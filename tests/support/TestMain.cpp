// Test entry point shared by both platforms; each platform's TestEnv prepares and
// cleans the environment around every test.
#include <gtest/gtest.h>

#include "support/TestEnv.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(testenv::MakeListener());
  return RUN_ALL_TESTS();
}
