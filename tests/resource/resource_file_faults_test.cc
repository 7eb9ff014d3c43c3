// Lexicons, the person-name table and the label table with lines that cannot
// be read: random bytes, "nan", numbers out of range, damaged protected
// files. None may load silently; each message names the file, the line and
// the reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "io/protected_file.h"
#include "resource/char_label_table.h"
#include "resource/lexicon.h"
#include "resource/pe_info.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::U;
using testing::WriteFile;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ResourceFileFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::MakeTempDir("resource_faults"); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

// Lexicon values were read like atoi ("nan" and "1x" became 0 and 1,
// 4294967295 wrapped), and random bytes loaded as words.
TEST_F(ResourceFileFaultsTest, LexiconLineThatCannotBeReadFailsTheLoad) {
  struct Case {
    std::string bytes;
    std::string message;
  };
  const std::string good = Gbk("北京 2\n上海 2\n");
  const Case cases[] = {
      {good + Gbk("广州 nan\n"), "line 3: value 'nan' is not a decimal number"},
      {good + Gbk("广州 1x\n"), "line 3: value '1x' is not a decimal number"},
      {good + Gbk("广州 4294967295\n"), "line 3: value '4294967295' is not a decimal number"},
      {good + Gbk("广州 -2\n"), "line 3: value '-2'"},
      {good + Gbk("广州 2 4\n"), "line 3: value '2 4'"},
      {good + "\x81\x20\xff\x05\x92\n", "line 3: the line holds bytes that are not valid GBK"},
      {good + std::string("ab\0c 2\n", 7), "line 3: the line holds a NUL byte"},
      {good + "a\x01"
              "b 2\n",
       "line 3: the word holds a control character"},
  };
  for (const Case& c : cases) {
    WriteFile(Path("NeItem.txt"), c.bytes);
    CNEValuedLexicon lexicon(ReadLexiconValue);
    std::string error;
    EXPECT_FALSE(lexicon.LoadLexicon(Path("NeItem.txt"), false, &error)) << c.message;
    EXPECT_TRUE(Has(error, Path("NeItem.txt") + ": " + c.message)) << error;
  }
  // A word alone has the value 0; white space around the value is no fault.
  WriteFile(Path("NeItem.txt"), good + Gbk("广州\n深圳 \t 4 \r\n"));
  CNEValuedLexicon lexicon(ReadLexiconValue);
  std::string error;
  ASSERT_TRUE(lexicon.LoadLexicon(Path("NeItem.txt"), false, &error)) << error;
  EXPECT_EQ(lexicon.ValueAt(3), 0);
  EXPECT_EQ(lexicon.ValueAt(4), 4);

  // The dictionary's words are checked alike; what follows a word is its own.
  WriteFile(Path("dict.txt"), Gbk("北京 whatever\n") + "\xa1\n");
  CNELexicon dict;
  EXPECT_FALSE(dict.LoadLexicon(Path("dict.txt"), false, &error));
  EXPECT_TRUE(Has(error, "line 2: the line holds bytes that are not valid GBK")) << error;
}

TEST_F(ResourceFileFaultsTest, DamagedProtectedLexiconFails) {
  WriteFile(Path("dict.txt"), Gbk("北京\n上海\n"));
  std::FILE* in = std::fopen(Path("dict.txt").c_str(), "rb");
  std::FILE* out = std::fopen(Path("dict.des").c_str(), "wb");
  ASSERT_TRUE(in != nullptr && out != nullptr && EncipherFile(in, out, kProtectedKey));
  std::fclose(in);
  std::fclose(out);
  std::string bytes = testing::ReadFile(Path("dict.des"));
  bytes[100] ^= 0x10;  // in the padding
  WriteFile(Path("dict.des"), bytes);
  CNELexicon lexicon;
  std::string error;
  EXPECT_FALSE(lexicon.LoadLexicon(Path("dict.txt"), true, &error));
  EXPECT_TRUE(Has(error, Path("dict.des") + ": bytes follow the zero padding")) << error;

  EXPECT_FALSE(lexicon.LoadLexicon(Path("none.txt"), true, &error));
  EXPECT_EQ(error, "cannot open " + Path("none.des") + ": No such file or directory");
}

// The person-name table is optional: a line that cannot be read is skipped
// with a warning, never taken in part ("李 1 0.1" used to set 李's flag).
TEST_F(ResourceFileFaultsTest, PersonNameLineThatCannotBeReadIsSkippedWithAWarning) {
  WriteFile(Path("PeInfo.txt"), Gbk("张 1 0.5 -2.25 3e-3 4 5.5 6\n"
                                    "李 1 0.1\n"
                                    "王 1 nan 0 0 0 0 0\n"
                                    "赵 4294967296 1 2 3 4 5 6\n"
                                    "钱 1 1 2 3 4 5 6 7\n"
                                    "孙 0x1 1 2 3 4 5 6\n") +
                                    "\x81\x20 1 1 2 3 4 5 6\n" + Gbk("周 1 1 2 3 4 5 .5\n"));
  PeInfoTable table;
  testing::CaptureDiagnostics();
  EXPECT_TRUE(table.LoadPeInfo(Path("PeInfo.txt"), false));
  const std::string messages = testing::GetCapturedDiagnostics();
  const std::string prefix = "warning: person-name table " + Path("PeInfo.txt") + ", line ";
  for (const std::string& part :
       {prefix + "2: the line does not hold a character, its flags and six numbers",
        prefix + "3: number 'nan' is not a finite decimal number",
        prefix + "4: flags '4294967296' are not a decimal number",
        prefix + "5: the line holds more than a character, its flags and six numbers",
        prefix + "6: flags '0x1'", prefix + "7: the line holds bytes that are not valid GBK"}) {
    EXPECT_TRUE(Has(messages, part)) << part << "\n" << messages;
  }
  size_t skipped = 0;
  for (size_t at = 0; (at = messages.find("; line skipped\n", at)) != std::string::npos; ++at) {
    ++skipped;
  }
  EXPECT_EQ(skipped, 6u) << messages;
  EXPECT_EQ(table.At(u'张').flags, 1);
  EXPECT_DOUBLE_EQ(table.At(u'张').values[2], 0.003);
  EXPECT_DOUBLE_EQ(table.At(u'周').values[5], 0.5);
  for (char16_t unit : {u'李', u'王', u'赵', u'钱', u'孙'}) EXPECT_EQ(table.At(unit).flags, 0);
}

// Label bits 4294967295 became -1 (every label), "nan" 0, and a line of
// random bytes set some character's labels.
TEST_F(ResourceFileFaultsTest, LabelTableLineThatCannotBeReadFailsTheLoad) {
  struct Case {
    std::string bytes;
    std::string message;
  };
  const std::string good = Gbk("张\t1028\n三\t6\n");
  const Case cases[] = {
      {good + Gbk("李\t4294967295\n"), "line 3: label bit set '4294967295' is not a decimal"},
      {good + Gbk("李\t16384\n"), "line 3: label bit set '16384'"},
      {good + Gbk("李\tnan\n"), "line 3: label bit set 'nan'"},
      {good + Gbk("李\t6x\n"), "line 3: label bit set '6x'"},
      {good + Gbk("李\t6\t7\n"), "line 3: the line holds more than a character and a bit set"},
      {good + Gbk("李四\t6\n"), "line 3: the line does not hold one character, a tab"},
      {good + "\x81\x20\t6\n", "line 3: the line holds bytes that are not valid GBK"},
  };
  for (const Case& c : cases) {
    WriteFile(Path("labels.txt"), c.bytes);
    CharLabelTable table;
    testing::CaptureDiagnostics();
    EXPECT_FALSE(table.Load(Path("labels.txt"), false)) << c.message;
    const std::string messages = testing::GetCapturedDiagnostics();
    EXPECT_TRUE(Has(messages, "error: label table " + Path("labels.txt") + ", " + c.message))
        << messages;
    EXPECT_EQ(table.At(u'张'), 0);  // nothing of a refused file stays
  }
  // Control characters are characters of the table (placeholders), and
  // empty lines and CR LF ends are no fault.
  WriteFile(Path("labels.txt"), good + "\x05\t96\r\n\n");
  CharLabelTable table;
  ASSERT_TRUE(table.Load(Path("labels.txt"), false));
  EXPECT_EQ(table.At(u'张'), 1028);
  EXPECT_EQ(table.At(u'\x05'), 96);
}

}  // namespace
}  // namespace verrin
