// Runs every GoogleTest case of the executable and makes a skipped case visible to CTest.
// Called from main once InitGoogleTest has run; tests with a main of their own (Qt) call it
// instead of RUN_ALL_TESTS. Main thread only.
#pragma once

namespace testing_support {

// RUN_ALL_TESTS' result, except when something was skipped and nothing failed: then 1 under
// WAYFARER_SKIP_IS_FAILURE=1 (./test, where every tool is installed), else 0 after printing the
// marker line CTest's SKIP_REGULAR_EXPRESSION reports as "skipped".
[[nodiscard]] int RunAllTests();

}  // namespace testing_support
