#pragma once
// Standard output of the test program, captured for one scope.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kinevra::test {

// Standard output captured for one scope; released even when an assertion
// leaves the scope early (gtest allows one capture at a time).
class Stdout {
 public:
  Stdout() { ::testing::internal::CaptureStdout(); }
  ~Stdout() {
    if (!taken_) std::fputs(::testing::internal::GetCapturedStdout().c_str(), stdout);
  }
  std::string take() {
    taken_ = true;
    return ::testing::internal::GetCapturedStdout();
  }

 private:
  bool taken_ = false;
};

}  // namespace kinevra::test
