// The way a host receives the library's messages: handlers and the last error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

const std::string kResDir = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

void Append(void* context, const char* text, size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Sends file descriptor 2 to a temporary file while it lives.
class StandardErrorToFile {
 public:
  StandardErrorToFile() : file_(std::tmpfile()), saved_(dup(2)) {
    std::fflush(stderr);
    dup2(fileno(file_), 2);
  }
  ~StandardErrorToFile() { Finish(); }
  // Restores fd 2 and returns what was written to it.
  std::string Finish() {
    if (saved_ < 0) return text_;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
    std::rewind(file_);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, n);
    std::fclose(file_);
    return text_;
  }

 private:
  std::FILE* file_;
  int saved_;
  std::string text_;
};

TEST(MessageHandlerTest, LoadFailureReachesTheHandlerAndLastErrorAndNothingReachesFd2) {
  // The resource set without its label table cannot load.
  const std::string dir = testing::MakeTempDir("no-label-table");
  for (const char* file : {"dict.txt", "NeItem.txt", "NeAffix.txt", "model.txt"}) {
    testing::WriteFile(dir + "/" + file, testing::ReadFile(kResDir + "/" + file));
  }
  const std::string model = dir + "/model.txt";

  std::string received;
  VerrinSetThreadMessageHandler(&Append, &received);
  StandardErrorToFile fd2;
  CNEResourceManager manager;
  const bool loaded = manager.LoadResource(dir.c_str(), model.c_str(), false);
  const std::string written = fd2.Finish();
  VerrinSetThreadMessageHandler(nullptr, nullptr);

  EXPECT_FALSE(loaded);
  EXPECT_EQ(written, "");
  EXPECT_NE(received.find("charset"), std::string::npos) << received;
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(VerrinLastError(), WithoutLineEnd(received));

  // A thread without a handler of its own reaches the process handler; its
  // last error is its own, and this thread's stays as it was.
  std::string process, other_error;
  VerrinSetMessageHandler(&Append, &process);
  std::thread([&] {
    CNEResourceManager other;
    EXPECT_FALSE(other.LoadResource(dir.c_str(), model.c_str(), false));
    other_error = VerrinLastError();
  }).join();
  VerrinSetMessageHandler(nullptr, nullptr);
  EXPECT_EQ(process, received);
  EXPECT_EQ(other_error, WithoutLineEnd(received));
  EXPECT_EQ(VerrinLastError(), WithoutLineEnd(received));

  // A load that succeeds leaves the last error alone.
  EXPECT_TRUE(manager.LoadResource(kResDir.c_str(), (kResDir + "/model.txt").c_str(), false));
  EXPECT_EQ(VerrinLastError(), WithoutLineEnd(received));
}

}  // namespace
}  // namespace verrin
