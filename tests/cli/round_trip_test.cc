// Whole-tool round trips: protected resource directories, and
// genfeatures -> train -> tag on a small bracketed corpus.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

namespace fs = std::filesystem;

const std::string kCli = VERRIN_CLI_PATH;
const std::string kTaggerData = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

int Cli(const std::string& args, std::string* out = nullptr) {
  std::string ignored;
  return testing::RunCommand(kCli + " " + args, out != nullptr ? out : &ignored);
}

std::string TagJson(const std::string& args, const std::string& input_file) {
  std::string out;
  EXPECT_EQ(Cli("tag --format json " + args + " " + input_file + " 2>/dev/null", &out), 0);
  return out;
}

TEST(RoundTripTest, ProtectedDirectoryTagsLikeThePlainOne) {
  const std::string dir = testing::MakeTempDir("protected-res");
  for (const char* name : {"dict", "NeItem", "NeAffix", "charset_lableInfo_tr", "model"}) {
    const std::string plain = kTaggerData + "/" + name + ".txt";
    ASSERT_EQ(Cli("protect " + plain + " " + dir + "/" + name + ".des"), 0) << name;
  }
  // Only the protected forms exist there, so the plain ones cannot be read.
  const std::string input = dir + "/input.txt";
  testing::WriteFile(input, "张三在北京大学工作。\n国务院说，张三在北京。\n");
  const std::string plain = TagJson("--res " + kTaggerData, input);
  const std::string protected_form =
      TagJson("--res " + dir + " --model " + dir + "/model.txt --protected", input);
  EXPECT_NE(plain.find("\"P\""), std::string::npos) << plain;
  EXPECT_EQ(protected_form, plain);
  // Without --protected the directory has nothing to load.
  std::string out;
  EXPECT_EQ(Cli("tag --res " + dir + " < " + input + " 2>&1", &out), 1);
}

// Bracketed corpus (words separated by spaces) and the same text raw.
const std::vector<std::pair<std::string, std::string>> kCorpus = {
    {"[P 张伟] 在 [L 北京] 工作 。", "张伟在北京工作。"},
    {"[P 李娜] 去 [L 上海] 开会 。", "李娜去上海开会。"},
    {"[O 国务院] 发布 了 通知 。", "国务院发布了通知。"},
    {"[P 王芳] 访问 [L 广州] 和 [L 深圳] 。", "王芳访问广州和深圳。"},
    {"[O 北京/大学] 的 学生 很 多 。", "北京大学的学生很多。"},
    {"记者 从 [O 外交部] 获悉 。", "记者从外交部获悉。"},
    {"[P 刘洋] 说 ， 天气 很 好 。", "刘洋说，天气很好。"},
    {"我们 在 [L 南京] 见面 。", "我们在南京见面。"},
};

// A resource directory below `dir` with the test lexicons and an empty
// label table, as training starts from; returns its path.
std::string TrainingResources(const std::string& dir) {
  const std::string res = dir + "/res";
  fs::create_directories(res);
  for (const char* name : {"dict.txt", "NeItem.txt", "NeAffix.txt"}) {
    fs::copy_file(kTaggerData + "/" + name, res + "/" + name);
  }
  testing::WriteFile(res + "/charset_lableInfo_tr.txt", "");
  return res;
}

TEST(RoundTripTest, GenfeaturesTrainTagFindsTheTrainingEntitiesAgain) {
  const std::string dir = testing::MakeTempDir("round-trip");
  const std::string res = TrainingResources(dir);
  std::string corpus, raw;
  for (const auto& [bracketed, text] : kCorpus) {
    corpus += bracketed + "\n";
    raw += text + "\n";
  }
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk(corpus));
  testing::WriteFile(dir + "/raw.txt", raw);

  std::string out;
  ASSERT_EQ(Cli("genfeatures --res " + res + " " + dir + "/corpus.txt " + dir + "/out 2>&1", &out),
            0)
      << out;
  ASSERT_EQ(Cli("train " + dir + "/out/ME_featuredata_tr.txt " + res + "/model.txt 2>&1", &out), 0)
      << out;
  fs::copy_file(dir + "/out/charset_lableInfo_tr.txt", res + "/charset_lableInfo_tr.txt",
                fs::copy_options::overwrite_existing);

  ASSERT_EQ(Cli("tag --res " + res + " " + dir + "/raw.txt 2>&1", &out), 0);
  // The organization merging of 北京 + 大学 shows only in file tagging; the
  // records (and this rendering) keep the words as decoded.
  EXPECT_EQ(out,
            "[P 张伟] 在 [L 北京] 工作 。 \n"
            "[P 李娜] 去 [L 上海] 开会 。 \n"
            "[O 国务院] 发布 了 通知 。 \n"
            "[P 王芳] 访问 [L 广州] 和 [L 深圳] 。 \n"
            "[O 北京大学] 的 学生 很 多 。 \n"
            "记者 从 [O 外交部] 获悉 。 \n"
            "[P 刘洋] 说 ， 天气 很 好 。 \n"
            "我们 在 [L 南京] 见面 。 \n");
}

// The (label, predicate) pairs of a model file.
std::set<std::string> ModelPairs(const std::string& path) {
  std::set<std::string> pairs;
  const std::string text = testing::ReadFile(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t tab = text.rfind('\t', end);
    if (tab != std::string::npos && tab > start) pairs.insert(text.substr(start, tab - start));
    start = end + 1;
  }
  return pairs;
}

TEST(RoundTripTest, RefineKeepsTheFeaturesAndStillTagsTheCorpus) {
  const std::string dir = testing::MakeTempDir("refine");
  const std::string res = TrainingResources(dir);
  std::string corpus, raw, bio;
  for (const auto& [bracketed, text] : kCorpus) {
    corpus += bracketed + "\n";
    raw += text + "\n";
  }
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk(corpus));
  testing::WriteFile(dir + "/raw.txt", raw);
  testing::WriteFile(dir + "/dev.bio", "张 B-PER\n伟 I-PER\n在 O\n南 B-LOC\n京 I-LOC\n\n");
  std::string out;
  ASSERT_EQ(Cli("genfeatures --res " + res + " " + dir + "/corpus.txt " + dir + "/out 2>&1", &out),
            0)
      << out;
  fs::copy_file(dir + "/out/charset_lableInfo_tr.txt", res + "/charset_lableInfo_tr.txt",
                fs::copy_options::overwrite_existing);
  ASSERT_EQ(
      Cli("train --sigma 1 " + dir + "/out/ME_featuredata_tr.txt " + res + "/model.txt 2>&1", &out),
      0)
      << out;

  ASSERT_EQ(Cli("refine --res " + res + " --epochs 2 --margin 1 --dev " + dir + "/dev.bio " + dir +
                    "/corpus.txt " + dir + "/refined.txt 2>&1",
                &out),
            0)
      << out;
  EXPECT_NE(out.find("before refining"), std::string::npos) << out;
  EXPECT_NE(out.find("pass 2: 9 clauses"), std::string::npos) << out;
  EXPECT_NE(out.find("dev: P "), std::string::npos) << out;
  const std::set<std::string> before = ModelPairs(res + "/model.txt");
  const std::set<std::string> after = ModelPairs(dir + "/refined.txt");
  EXPECT_FALSE(after.empty());
  for (const std::string& pair : after) EXPECT_EQ(before.count(pair), 1u) << pair;

  ASSERT_EQ(
      Cli("tag --res " + res + " --model " + dir + "/refined.txt " + dir + "/raw.txt 2>&1", &out),
      0);
  EXPECT_NE(out.find("[P 张伟] 在 [L 北京] 工作 。"), std::string::npos) << out;
  EXPECT_NE(out.find("[O 国务院]"), std::string::npos) << out;

  // Usage and input errors.
  EXPECT_EQ(Cli("refine --epochs 0 " + dir + "/corpus.txt " + dir + "/x.txt 2>&1", &out), 2);
  EXPECT_NE(out.find("--epochs needs a whole number of at least 1"), std::string::npos) << out;
  EXPECT_EQ(Cli("refine --res " + res + " " + dir + "/none.txt " + dir + "/x.txt 2>&1", &out), 1);
  EXPECT_NE(out.find("cannot open the corpus " + dir + "/none.txt"), std::string::npos) << out;
}

// Parses a label table file: character (UTF-8) -> bits.
std::map<std::string, int> ReadLabelTable(const std::string& path) {
  std::map<std::string, int> table;
  const std::string text = testing::Utf8(FromGbk(testing::ReadFile(path)));
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const size_t tab = text.find('\t', start);
    if (tab != std::string::npos && tab < end) {
      table[text.substr(start, tab - start)] = std::stoi(text.substr(tab + 1, end - tab - 1));
    }
    start = end + 1;
  }
  return table;
}

TEST(RoundTripTest, PersonLabelsOpenEveryChineseCharacterOfTheTable) {
  const std::string dir = testing::MakeTempDir("person-labels");
  const std::string res = TrainingResources(dir);
  std::string corpus;
  for (const auto& entry : kCorpus) corpus += entry.first + "\n";
  corpus += "[P 约翰·史密斯] 来 了 。\n";  // the dot inside a name is not Chinese
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk(corpus));

  std::string out;
  ASSERT_EQ(
      Cli("genfeatures --res " + res + " " + dir + "/corpus.txt " + dir + "/plain 2>&1", &out), 0)
      << out;
  ASSERT_EQ(Cli("genfeatures --person-labels --res " + res + " " + dir + "/corpus.txt " + dir +
                    "/open 2>&1",
                &out),
            0)
      << out;
  const auto plain = ReadLabelTable(dir + "/plain/charset_lableInfo_tr.txt");
  const auto open = ReadLabelTable(dir + "/open/charset_lableInfo_tr.txt");
  ASSERT_EQ(plain.size(), open.size());
  int changed = 0;
  for (const auto& [unit, bits] : plain) {
    const char16_t u = testing::U(unit)[0];
    const bool chinese = u >= 0x4E00 && u <= 0x9FFF;
    EXPECT_EQ(open.at(unit), chinese ? (bits | 0x1c) : bits) << unit;
    if (open.at(unit) != bits) ++changed;
  }
  EXPECT_EQ(plain.at("张"), 1 << 2);  // begins a name
  EXPECT_EQ(open.at("在"), 0x1e);     // 1, now also 2, 3 and 4
  EXPECT_EQ(plain.at("·"), 1 << 3);
  EXPECT_EQ(open.at("·"), 1 << 3);  // not a Chinese character
  EXPECT_NE(out.find("person labels added to " + std::to_string(changed) + " characters"),
            std::string::npos)
      << out;
  // The event files do not depend on the table.
  EXPECT_EQ(testing::ReadFile(dir + "/plain/ME_featuredata_tr.txt"),
            testing::ReadFile(dir + "/open/ME_featuredata_tr.txt"));
}

}  // namespace
}  // namespace verrin
