// The main of every GoogleTest executable built with wayfarer_test: a skipped case is reported
// as skipped (or, under ./test, as a failure), never as passed. Main thread only.
#include <gtest/gtest.h>

#include "platform/testing/run_all_tests.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return testing_support::RunAllTests();
}
