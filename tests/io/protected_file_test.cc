// Protected files: chunked enciphering, whole-file reading and the line scan.
#include "io/protected_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::ReadFile;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

bool Encipher(const std::string& in_path, const std::string& out_path) {
  std::FILE* in = std::fopen(in_path.c_str(), "rb");
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  const bool ok = in && out && EncipherFile(in, out, kProtectedKey);
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  return ok;
}

bool Decipher(const std::string& in_path, const std::string& out_path) {
  std::FILE* in = std::fopen(in_path.c_str(), "rb");
  std::FILE* out = std::fopen(out_path.c_str(), "wb");
  const bool ok = in && out && DecipherFile(in, out, kProtectedKey);
  if (in) std::fclose(in);
  if (out) std::fclose(out);
  return ok;
}

std::vector<unsigned char> ReadProtected(const std::string& path) {
  std::vector<unsigned char> buffer;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return buffer;
  EXPECT_TRUE(ReadProtectedFile(file, buffer));
  std::fclose(file);
  return buffer;
}

std::vector<std::string> ScanLines(const std::string& bytes) {
  std::vector<std::string> lines;
  ScanProtectedLines(std::vector<unsigned char>(bytes.begin(), bytes.end()),
                     [&](CUString& line) { lines.push_back(Utf8(line)); });
  return lines;
}

TEST(ProtectedFileTest, FilesArePaddedToWholeChunksAndReadBack) {
  const std::string dir = MakeTempDir("protected_chunks");
  // Sizes around the 512-byte chunk: empty, short, one byte short, exact,
  // one over, several chunks.
  for (const size_t size : {0u, 1u, 511u, 512u, 513u, 1500u}) {
    std::string plain;
    for (size_t i = 0; i < size; ++i) plain.push_back(static_cast<char>('a' + i % 26));
    const std::string plain_path = dir + "/plain.txt", des_path = dir + "/plain.des";
    WriteFile(plain_path, plain);
    ASSERT_TRUE(Encipher(plain_path, des_path));
    const std::string enciphered = ReadFile(des_path);
    EXPECT_EQ(enciphered.size(), (size + 511) / 512 * 512) << size;
    if (size > 0) {
      EXPECT_NE(enciphered.substr(0, 8), plain.substr(0, 8)) << size;
    }

    // The whole-file reader gives the text followed by the zero padding.
    const std::vector<unsigned char> buffer = ReadProtected(des_path);
    std::string expected = plain;
    expected.resize(enciphered.size(), '\0');
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), expected) << size;

    // And deciphering the file drops the padding again.
    ASSERT_TRUE(Decipher(des_path, dir + "/back.txt"));
    EXPECT_EQ(ReadFile(dir + "/back.txt"), plain) << size;
  }
}

TEST(ProtectedFileTest, DecipherFileStopsAtFirstZeroByte) {
  const std::string dir = MakeTempDir("protected_zero");
  WriteFile(dir + "/in.txt", std::string("ab\ncd\0ef", 8));
  ASSERT_TRUE(Encipher(dir + "/in.txt", dir + "/in.des"));
  ASSERT_TRUE(Decipher(dir + "/in.des", dir + "/out.txt"));
  EXPECT_EQ(ReadFile(dir + "/out.txt"), "ab\ncd");
}

TEST(ProtectedFileTest, ProtectedPathReplacesLastTxt) {
  EXPECT_EQ(ProtectedPathFor("/res/txt/dict.txt"), "/res/txt/dict.des");
  EXPECT_EQ(ProtectedPathFor("/res/model.txt.bak"), "/res/model.des.bak");
  EXPECT_EQ(ProtectedPathFor("/res/model"), "/res/model");
}

TEST(ProtectedFileTest, LinesEndAtLineFeedOrZeroAndScanStopsAtZero) {
  // "b" ends at the zero byte; nothing after it is text.
  EXPECT_EQ(ScanLines(std::string("a\r\nb\0c\nd\n", 9)), (std::vector<std::string>{"a\r", "b"}));
  // A line feed followed by padding: the padding gives one empty line, then stops.
  EXPECT_EQ(ScanLines(std::string("a\n\n", 3) + std::string(5, '\0')),
            (std::vector<std::string>{"a", "", ""}));
}

TEST(ProtectedFileTest, UnterminatedLastLineIsNotLost) {
  // Text that fills its last chunk exactly has neither a line feed nor a
  // zero byte after its last line.
  EXPECT_EQ(ScanLines("first\nlast"), (std::vector<std::string>{"first", "last"}));
  EXPECT_EQ(ScanLines("only"), (std::vector<std::string>{"only"}));
  EXPECT_TRUE(ScanLines("").empty());
  EXPECT_EQ(ScanLines("x\n"), (std::vector<std::string>{"x"}));

  const std::string dir = MakeTempDir("protected_exact");
  std::string plain(505, 'q');
  plain = "head\n" + plain + "\ntail";  // 5 + 505 + 1 + 4 = 515 bytes
  plain.resize(1024, 'z');              // two full chunks, no padding at all
  WriteFile(dir + "/f.txt", plain);
  ASSERT_TRUE(Encipher(dir + "/f.txt", dir + "/f.des"));
  std::vector<std::string> lines;
  ScanProtectedLines(ReadProtected(dir + "/f.des"),
                     [&](CUString& line) { lines.push_back(Utf8(line)); });
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].size(), 1024u - 511u);
  EXPECT_EQ(lines[2].substr(0, 4), "tail");
}

TEST(ProtectedFileTest, LongLinesArriveWholeAndDecodedFromGbk) {
  std::string long_line;
  for (int i = 0; i < 1500; ++i) long_line += testing::Gbk("中");
  const std::vector<std::string> lines = ScanLines(long_line + "\n" + testing::Gbk("人民") + "\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(U(lines[0]).Length(), 1500);
  EXPECT_EQ(lines[1], "人民");
}

}  // namespace
}  // namespace verrin
