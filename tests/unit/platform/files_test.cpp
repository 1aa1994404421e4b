// The Documents folder lookup and append-only files on the real file system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/documents_folder.h"
#include "platform/files.h"
#include "temp_folder.h"

namespace kinevra {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::TempFolder;

#ifdef _WIN32

TEST(DocumentsFolder, IsTheShellsAbsoluteFolder) {
  const std::string docs = platform::documentsFolder();
  ASSERT_GE(docs.size(), 3u);
  EXPECT_EQ(docs[1], ':') << docs;
  EXPECT_NE(docs.back(), '\\');
  EXPECT_EQ(platform::pathSeparator(), '\\');
}

#else

// Sets or clears an environment variable for one test and restores it after.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      test::setEnvironment(name, value);
    } else {
      test::unsetEnvironment(name);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      test::setEnvironment(name_, old_->c_str());
    } else {
      test::unsetEnvironment(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DocumentsFolder, FollowsXdgThenHome) {
  ScopedEnvironment home("HOME", "/home/rider");
  {
    ScopedEnvironment xdg("XDG_DOCUMENTS_DIR", "/data/Dokumente//");
    EXPECT_EQ(platform::documentsFolder(), "/data/Dokumente");
  }
  {
    // Relative values are not valid XDG paths.
    ScopedEnvironment xdg("XDG_DOCUMENTS_DIR", "Dokumente");
    EXPECT_EQ(platform::documentsFolder(), "/home/rider/Documents");
  }
  {
    ScopedEnvironment xdg("XDG_DOCUMENTS_DIR", "");
    EXPECT_EQ(platform::documentsFolder(), "/home/rider/Documents");
  }
  ScopedEnvironment xdg("XDG_DOCUMENTS_DIR", nullptr);
  EXPECT_EQ(platform::documentsFolder(), "/home/rider/Documents");
  {
    ScopedEnvironment root("HOME", "/");
    EXPECT_EQ(platform::documentsFolder(), "/Documents");
  }
  {
    // Without $HOME the account's home folder is used.
    ScopedEnvironment none("HOME", nullptr);
    const std::string docs = platform::documentsFolder();
    ASSERT_FALSE(docs.empty());
    EXPECT_EQ(docs.front(), '/');
    EXPECT_EQ(fs::path(docs).filename(), "Documents");
  }
  EXPECT_EQ(platform::pathSeparator(), '/');
}

#endif

TEST(AppendFile, CreatesAppendsAndTranslatesLineEndsAsTextMode) {
  TempFolder dir;
  const fs::path p = dir.path() / "log.txt";
  {
    platform::AppendFile f;
    EXPECT_FALSE(f.appendText("closed\n"));
    ASSERT_TRUE(f.open(p.string()));
    EXPECT_TRUE(f.appendText("one\n"));
    EXPECT_TRUE(f.appendText(std::string("two\0\n", 5)));
  }
  platform::AppendFile again;
  ASSERT_TRUE(again.open(p.string()));
  EXPECT_TRUE(again.appendText("three\n"));
  again.close();
  EXPECT_FALSE(again.isOpen());
#ifdef _WIN32
  EXPECT_EQ(readFileBytes(p), std::string("one\r\ntwo\0\r\nthree\r\n", 18));
#else
  EXPECT_EQ(readFileBytes(p), std::string("one\ntwo\0\nthree\n", 15));
#endif
}

TEST(AppendFile, AFolderCannotBeOpened) {
  TempFolder dir;
  platform::AppendFile f;
  EXPECT_FALSE(f.open(dir.str()));
  EXPECT_FALSE(f.isOpen());
  EXPECT_FALSE(f.open((dir.path() / "missing" / "log.txt").string()));
}

}  // namespace
}  // namespace kinevra
