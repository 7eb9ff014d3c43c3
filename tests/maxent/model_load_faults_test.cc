// Model files that must not load: lines that cannot be read, files cut
// short, protected files damaged or cut. Each fails with the file and line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "io/protected_file.h"
#include "maxent/me_model.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::ReadFile;
using testing::WriteFile;

class ModelLoadFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::MakeTempDir("model_load_faults"); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Loads `bytes` as m.txt (or its protected twin m.des); returns the
  // messages, and whether the load succeeded in `loaded`.
  std::string Load(const std::string& bytes, bool protected_form, bool* loaded) {
    WriteFile(Path(protected_form ? "m.des" : "m.txt"), bytes);
    CMEModel model;
    testing::CaptureDiagnostics();
    *loaded = model.Load(Path("m.txt"), protected_form);
    const std::string messages = testing::GetCapturedDiagnostics();
    if (!*loaded) {
      EXPECT_EQ(model.OutcomeCount(), 0);
    }
    return messages;
  }

  // The protected form of `plain` bytes.
  std::string Protect(const std::string& plain) {
    WriteFile(Path("plain.tmp"), plain);
    std::FILE* in = std::fopen(Path("plain.tmp").c_str(), "rb");
    std::FILE* out = std::fopen(Path("out.tmp").c_str(), "wb");
    EXPECT_TRUE(in != nullptr && out != nullptr && EncipherFile(in, out, kProtectedKey));
    if (in != nullptr) std::fclose(in);
    if (out != nullptr) std::fclose(out);
    return ReadFile(Path("out.tmp"));
  }

  std::string dir_;
};

std::string Lines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(1 + i % 13) + "\tchar=" + std::to_string(i) + "\t0.25\n";
  }
  return text;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Lines without their fields used to be skipped with a warning, and a last
// line cut inside its weight loaded as a shorter number.
TEST_F(ModelLoadFaultsTest, UnreadableLinesFailWithFileAndLine) {
  const std::string good = Lines(5);
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {good + "broken line\n" + good,
       "line 6: the line does not hold outcome, predicate and weight separated by tabs"},
      {good + "1\t0.5\n", "line 6: the line does not hold outcome"},
      {good + "1\tchar=x\t0.12", "line 6: the last line has no line feed (the file is cut short)"},
      {good + "1\tchar=", "line 6: the last line has no line feed"},
      {good + "1\tchar=\xff\x30\xa1\t0.5\n" + good,
       "line 6: the line holds bytes that are not valid GBK"},
      {good + std::string("1\tch\0r\t0.5\n", 11), "line 6: the line holds a NUL byte"},
  };
  for (const Case& c : cases) {
    bool loaded = true;
    const std::string messages = Load(c.text, false, &loaded);
    EXPECT_FALSE(loaded) << c.message;
    EXPECT_TRUE(Has(messages, "error: model file " + Path("m.txt") + ", " + c.message)) << messages;
  }
  // Blank lines and carriage returns stay harmless.
  bool loaded = false;
  EXPECT_EQ(Load(good + "\n\r\n" + Gbk("2\t中\t1\r\n"), false, &loaded), "");
  EXPECT_TRUE(loaded);
}

// A protected model with flipped bytes loaded silently: the garbled lines
// were skipped, and a zero byte among them ended the text early.
TEST_F(ModelLoadFaultsTest, DamagedProtectedModelFailsNamingItsPath) {
  const std::string plain = Lines(120);
  const std::string whole = Protect(plain);
  ASSERT_EQ(whole.size() % 512, 0u);
  bool loaded = false;
  EXPECT_EQ(Load(whole, true, &loaded), "");
  ASSERT_TRUE(loaded);

  // 64 bytes flipped through the text.
  std::string flipped = whole;
  for (size_t i = 0; i < 64; ++i) flipped[37 + i * (plain.size() / 64)] ^= 0x5A;
  std::string messages = Load(flipped, true, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(Has(messages, "error: model file " + Path("m.des"))) << messages;

  // One byte of the padding: the text goes on after its zero.
  std::string padding = whole;
  padding[padding.size() - 3] ^= 0x01;
  messages = Load(padding, true, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(
      Has(messages, "error: model file " + Path("m.des") + ": bytes follow the zero padding"))
      << messages;

  // Cut short: the size is no multiple of 512.
  messages = Load(whole.substr(0, whole.size() - 100), true, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(Has(messages, "error: model file " + Path("m.des") + ": its size, " +
                                std::to_string(whole.size() - 100) + " bytes, is not a multiple"))
      << messages;

  // A line that cannot be read names the protected file and its line.
  messages = Load(Protect(Lines(3) + "junk\n"), true, &loaded);
  EXPECT_FALSE(loaded);
  EXPECT_TRUE(Has(messages, "error: model file " + Path("m.des") + ", line 4: ")) << messages;
}

// `--protected --model p/model.des` said "cannot open p/model.des !": a
// path without "txt" has no twin, so it names the protected file itself.
TEST_F(ModelLoadFaultsTest, ProtectedPathWithoutTxtIsReadAsItIs) {
  WriteFile(Path("model.des"), Protect(Lines(4)));
  CMEModel model;
  testing::CaptureDiagnostics();
  EXPECT_TRUE(model.Load(Path("model.des"), true));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "");
  EXPECT_EQ(model.FeatureCount(), 4);

  // The ".txt" path of a missing twin names the twin and the reason.
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Load(Path("other.txt"), true));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + Path("other.txt") +
                                                   " !\nerror: " + Path("other.des") +
                                                   ": No such file or directory\n");
}

}  // namespace
}  // namespace verrin
