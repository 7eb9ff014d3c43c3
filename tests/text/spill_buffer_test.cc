// CSpillBuffer gives back every byte in order, whether it stayed in memory or
// moved to a temporary file, and says so when the temporary file cannot be made.
#include "text/spill_buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_util.h"

namespace verrin {
namespace {

std::string MoveOut(CSpillBuffer& buffer, const std::string& path) {
  COutputFile output;
  EXPECT_TRUE(output.Open(path));
  EXPECT_TRUE(buffer.MoveTo(output));
  EXPECT_TRUE(output.Commit()) << output.Error();
  return testing::ReadFile(path);
}

TEST(SpillBufferTest, BytesComeBackInOrderInMemoryAndPastTheLimit) {
  const std::string dir = testing::MakeTempDir("spill-buffer");
  CSpillBuffer buffer(16);
  ASSERT_TRUE(buffer.Append("0123456789"));
  EXPECT_FALSE(buffer.Spilled());
  EXPECT_EQ(MoveOut(buffer, dir + "/small"), "0123456789");
  EXPECT_EQ(buffer.Size(), 0u);

  // The same buffer again, now past its limit: the bytes held in memory go
  // first, with a NUL and bytes of every value kept as they are.
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string piece = std::to_string(i) + std::string(1, static_cast<char>(i % 256)) + ";";
    ASSERT_TRUE(buffer.Append(piece));
    expected += piece;
  }
  EXPECT_TRUE(buffer.Spilled());
  EXPECT_EQ(buffer.Size(), expected.size());
  EXPECT_EQ(MoveOut(buffer, dir + "/large"), expected);
  EXPECT_FALSE(buffer.Spilled());
  ASSERT_TRUE(buffer.Append("after"));
  EXPECT_EQ(MoveOut(buffer, dir + "/again"), "after");
}

#if !defined(_WIN32)
// (On Windows the C runtime picks the temporary directory.)
TEST(SpillBufferTest, MissingTemporaryDirectoryIsReported) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  setenv("TMPDIR", "/nonexistent-verrin-dir", 1);
  CSpillBuffer buffer(4);
  EXPECT_TRUE(buffer.Append("abcd"));
  EXPECT_FALSE(buffer.Append("e"));
  EXPECT_EQ(buffer.Error(), "temporary file: No such file or directory");
  EXPECT_FALSE(buffer.Append("f")) << "a failed buffer stays failed";
  if (old != nullptr) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}
#endif

}  // namespace
}  // namespace verrin
