#pragma once
// Keeps a test program's log lines out of the user's real Documents folder:
// natively XDG_DOCUMENTS_DIR points at a scratch folder for the whole run.
// Under Wine the Documents folder is the test prefix's own.
#include <gtest/gtest.h>

#include <memory>

#include "temp_folder.h"

namespace kinevra::test {

class IsolatedDocuments : public ::testing::Environment {
 public:
  void SetUp() override {
#ifndef _WIN32
    folder_ = std::make_unique<TempFolder>();
    setEnvironment("XDG_DOCUMENTS_DIR", folder_->str().c_str());
#endif
  }
  void TearDown() override { folder_.reset(); }

 private:
  std::unique_ptr<TempFolder> folder_;
};

// Registers the environment once per program (include from one test file).
inline ::testing::Environment* const kIsolatedDocuments =
    ::testing::AddGlobalTestEnvironment(new IsolatedDocuments);

}  // namespace kinevra::test
