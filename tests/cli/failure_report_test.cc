// Failures the commands must not swallow: a clause without a path, a model or
// resource set that cannot work, a directory where a file belongs, and input
// bytes that do not fit the encoding. Each must be named on standard error,
// with the rest of the work done and an exit status that says so.
#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace verrin {
namespace {

const std::string kCli = VERRIN_CLI_PATH;
const std::string kRes = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Copies the hand-made resource set into a fresh directory, with `model`
// (UTF-8, turned into GBK) as its model.txt.
std::string ResourcesWithModel(const std::string& name, const std::string& model) {
  const std::string dir = testing::MakeTempDir(name);
  for (const char* file : {"dict.txt", "NeItem.txt", "NeAffix.txt", "charset_lableInfo_tr.txt"}) {
    testing::WriteFile(dir + "/" + file, testing::ReadFile(kRes + "/" + file));
  }
  testing::WriteFile(dir + "/model.txt", testing::Gbk(model));
  return dir;
}

std::string TestModelWithout(const std::string& outcome) {
  std::string utf8;
  testing::RunCommand("iconv -f gbk -t utf-8 " + Quote(kRes + "/model.txt"), &utf8);
  std::string kept;
  size_t start = 0;
  while (start < utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size() - 1;
    const std::string line = utf8.substr(start, end - start + 1);
    if (line.rfind(outcome + "\t", 0) != 0) kept += line;
    start = end + 1;
  }
  return kept;
}

// Runs a command with standard error folded into `out`.
int RunBoth(const std::string& command, std::string* out) {
  return testing::RunCommand(command + " 2>&1", out);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(FailureReportTest, UndecodableClauseIsNamedAndTheOtherLinesAreTagged) {
  // Without outcome 52 (the sentinel) no clause with a scored label has a
  // path; a lone mdw bracket needs no score at all and still comes out.
  const std::string res = ResourcesWithModel("no-end-label", TestModelWithout("52"));
  const std::string dir = testing::MakeTempDir("undecodable");
  testing::WriteFile(dir + "/in.txt", "张三在北京\n[mdw 某某]\n");
  std::string out, err;
  EXPECT_EQ(testing::RunCommand(kCli + " tag --res " + Quote(res) + " " + Quote(dir + "/in.txt") +
                                    " 2>" + Quote(dir + "/err.txt"),
                                &out),
            3);
  err = testing::ReadFile(dir + "/err.txt");
  EXPECT_EQ(out, "\n[mdw 某某] \n");
  EXPECT_TRUE(Has(err, "verrin tag: " + dir + "/in.txt:1: 1 clause could not be tagged")) << err;
  // The library's own note reads on a UTF-8 terminal, one line per clause.
  EXPECT_TRUE(Has(err, "error sent: 张三在北京\n")) << err;
  EXPECT_TRUE(Has(err, "verrin tag: finished with 1 line with clauses left out (exit status 3)"))
      << err;

  testing::WriteFile(dir + "/in.gbk", testing::Gbk("张三在北京\n[mdw 某某]\n"));
  EXPECT_EQ(RunBoth(kCli + " tagfile --res " + Quote(res) + " " + Quote(dir + "/in.gbk") + " " +
                        Quote(dir + "/out.gbk"),
                    &err),
            3);
  EXPECT_TRUE(Has(err, dir + "/in.gbk:1: 1 clause could not be tagged")) << err;
  EXPECT_EQ(testing::ReadFile(dir + "/out.gbk"), testing::Gbk("\n[mdw 某某] \n"));
  // eval-ner scores what it could tag and says which sentence it could not.
  testing::WriteFile(dir + "/gold.bio", "某 O\n\n张 B-PER\n三 I-PER\n");
  EXPECT_EQ(RunBoth(kCli + " eval-ner --res " + Quote(res) + " " + Quote(dir + "/gold.bio"), &err),
            3);
  EXPECT_TRUE(Has(err, dir + "/gold.bio:3: 1 clause could not be tagged")) << err;
  EXPECT_TRUE(Has(err, "overall           1          0")) << err;
}

TEST(FailureReportTest, EvalNerNamesBytesThatAreNotUtf8) {
  const std::string dir = testing::MakeTempDir("eval-ner-bytes");
  testing::WriteFile(dir + "/gold.bio", "张 B-PER\n\xff O\n\n北 B-LOC\n京 I-LOC\n");
  std::string err;
  EXPECT_EQ(RunBoth(kCli + " eval-ner --res " + Quote(kRes) + " " + Quote(dir + "/gold.bio"), &err),
            3);
  EXPECT_TRUE(Has(err, dir + "/gold.bio:2: bytes not valid UTF-8 became U+FFFD")) << err;
  EXPECT_TRUE(Has(err, "finished with 1 line with invalid bytes (exit status 3)")) << err;
}

TEST(FailureReportTest, BadModelsFailToLoadWithFileAndLine) {
  const std::string good = TestModelWithout("none");
  struct Case {
    std::string model;
    std::string message;
  };
  const Case cases[] = {
      {"2\tchar=张\tabc\n" + good, "line 1: weight 'abc' is not a finite number"},
      {good + "1\tchar=说\tnan\n", "line 22: weight 'nan' is not a finite number"},
      {good + "1\tchar=说\t-inf\n", "line 22: weight '-inf' is not a finite number"},
      {good + "1\tchar=说\t1e999\n", "line 22: weight '1e999' is not a finite number"},
      {good + "1\tchar=说\t0.5x\n", "line 22: weight '0.5x' is not a finite number"},
      {good + "1\tchar=", "line 22: the last line has no line feed (the file is cut short)"},
      {good + "1\tchar=说\t0.12", "line 22: the last line has no line feed"},
      {good + "some text\n", "line 22: the line does not hold outcome, predicate and weight"},
      {"", "holds no features"},
      // Outcomes are label numbers, read exactly: "1x" passed for label 1.
      {good + "1x\tchar=说\t0.5\n", "line 22: outcome '1x' is not a label number"},
      {good + "01\tchar=说\t0.5\n", "line 22: outcome '01' is not a label number"},
      {good + "4294967297\tchar=说\t0.5\n", "line 22: outcome '4294967297' is not a label"},
      {"-1\tchar=说\t0.5\n" + good, "line 1: outcome '-1' is not a label number"},
  };
  for (const Case& c : cases) {
    const std::string res = ResourcesWithModel("bad-model", c.model);
    std::string out;
    EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1) << c.message;
    EXPECT_TRUE(Has(out, "model file " + res + "/model.txt")) << out;
    EXPECT_TRUE(Has(out, c.message)) << out;
  }
  // The label table lets 张 take labels 2 and 10 and 三 label 9: a model
  // without outcome 9 (or 10) does not fit it, although every character
  // keeps a label the model knows.
  for (const std::string label : {"9", "10"}) {
    const std::string res = ResourcesWithModel("unfit-model", TestModelWithout(label));
    testing::WriteFile(res + "/charset_lableInfo_tr.txt", testing::Gbk("三\t514\n张\t1028\n"));
    std::string out;
    EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
    EXPECT_TRUE(Has(out, "error: model file " + res + "/model.txt has no outcome " + label +
                             ", which the label table " + res +
                             "/charset_lableInfo_tr.txt allows (for U+" +
                             (label == "9" ? "4E09" : "5F20")))
        << out;
  }
}

// A missing dictionary or label table was named without the reason or the
// path; a lexicon line that cannot be read loaded silently.
TEST(FailureReportTest, ResourceFilesThatCannotBeReadAreNamedWithTheReason) {
  const std::string res = ResourcesWithModel("bad-resources", TestModelWithout("none"));
  std::string out;
  std::remove((res + "/dict.txt").c_str());
  EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
  EXPECT_TRUE(Has(out, "load " + res + "/dict.txt failed.\nerror: cannot open " + res +
                           "/dict.txt: No such file or directory\n"))
      << out;

  testing::WriteFile(res + "/dict.txt", testing::ReadFile(kRes + "/dict.txt"));
  testing::WriteFile(res + "/NeAffix.txt", testing::Gbk("先生 1\n女士 nan\n"));
  EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
  EXPECT_TRUE(Has(out, "load " + res + "/NeAffix.txt failed.\nerror: " + res +
                           "/NeAffix.txt: line 2: value 'nan' is not a decimal number"))
      << out;

  testing::WriteFile(res + "/NeAffix.txt", testing::ReadFile(kRes + "/NeAffix.txt"));
  std::remove((res + "/charset_lableInfo_tr.txt").c_str());
  EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
  EXPECT_TRUE(Has(out, "the charset label info file is not exist\nerror: cannot open " + res +
                           "/charset_lableInfo_tr.txt: No such file or directory\n"))
      << out;

  testing::WriteFile(res + "/charset_lableInfo_tr.txt", testing::Gbk("张\t4294967295\n"));
  EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
  EXPECT_TRUE(Has(out, "error: label table " + res +
                           "/charset_lableInfo_tr.txt, line 1: label bit set '4294967295'"))
      << out;
}

TEST(FailureReportTest, MissingModelAndDirectoriesAreErrors) {
  const std::string res = ResourcesWithModel("no-model", "");
  std::remove((res + "/model.txt").c_str());
  std::string out;
  EXPECT_EQ(RunBoth("echo 张三 | " + kCli + " tag --res " + Quote(res), &out), 1);
  EXPECT_TRUE(Has(out, "verrin tag: no model: " + res +
                           "/model.txt does not exist; give one with --model PATH"))
      << out;

  const std::string dir = testing::MakeTempDir("dir-args");
  const std::string d = Quote(dir);
  for (const std::string& command :
       {"tag --res " + Quote(kRes) + " " + d, "tagfile --res " + Quote(kRes) + " " + d + " x.out",
        "score " + d + " " + d, "eval-ner --res " + Quote(kRes) + " " + d,
        "genfeatures --res " + Quote(kRes) + " " + d + " " + d, "segment " + d,
        "tag --res " + Quote(kRes) + " --model " + d, "convert --from pd98 " + d + " x.out",
        "augment " + d + " x.out", "protect " + d + " x.out", "unprotect " + d + " x.out"}) {
    EXPECT_EQ(RunBoth("cd " + d + " && " + kCli + " " + command + " < /dev/null", &out), 1)
        << command;
    EXPECT_TRUE(Has(out, dir + " is a directory")) << command << ": " << out;
  }
}

TEST(FailureReportTest, InputThatWouldChangeMeaningIsReadSoundlyAndReported) {
  const std::string dir = testing::MakeTempDir("odd-input");
  // A byte-order mark, a lone CR between two lines, a NUL inside a name.
  testing::WriteFile(dir + "/in.txt", std::string("\xEF\xBB\xBF张三在北京\r张") + '\0' + "三说\n");
  std::string out;
  EXPECT_EQ(testing::RunCommand(kCli + " tag --res " + Quote(kRes) + " " + Quote(dir + "/in.txt") +
                                    " 2>" + Quote(dir + "/err"),
                                &out),
            0);
  EXPECT_EQ(out, "[P 张三] 在 [L 北京] \n[P 张三] 说 \n");
  EXPECT_EQ(testing::ReadFile(dir + "/err"),
            "verrin tag: " + dir + "/in.txt:2: 1 NUL byte was read as a space\n");

  // GBK read as UTF-8: named with its line and the way out, exit status 3.
  testing::WriteFile(dir + "/gbk.txt", "ok\n" + testing::Gbk("张三在北京") + "\n");
  EXPECT_EQ(RunBoth(kCli + " tag --res " + Quote(kRes) + " " + Quote(dir + "/gbk.txt"), &out), 3);
  EXPECT_TRUE(Has(out, "verrin tag: " + dir + "/gbk.txt:2: ")) << out;
  EXPECT_TRUE(Has(out, "not valid UTF-8 and became U+FFFD (use --encoding gbk)")) << out;
}

}  // namespace
}  // namespace verrin
