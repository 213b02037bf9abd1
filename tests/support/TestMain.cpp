// Test entry point: a listener removes what tests wrote under "software\OLMAR" in both
// hives after every test.
#include <gtest/gtest.h>

#include "support/TestEnv.h"

class CListener : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    testenv::DeleteRegTree(HKEY_LOCAL_MACHINE, "software\\OLMAR");
    testenv::DeleteRegTree(HKEY_CURRENT_USER, "software\\OLMAR");
  }
};

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new CListener);
  return RUN_ALL_TESTS();
}
