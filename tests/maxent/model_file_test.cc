// Model files: parsing, saving order and format, round trips, the walk over
// deciphered bytes, in-memory tables, and faults of the file format.
#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "maxent/me_line_reader.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

using testing::EntryTable;
using testing::Gbk;
using testing::MakeTempDir;
using testing::ReadFile;
using testing::Sample;
using testing::U;
using testing::Utf8;
using testing::WriteFile;

using namespace std::string_literals;
using Entries = std::vector<std::pair<std::pair<CUString, CUString>, double>>;

// "outcome|predicate|weight" per entry, in export order.
std::vector<std::string> Dump(const CMEModel& model) {
  Entries entries;
  model.ExportEntries(entries);
  std::vector<std::string> out;
  for (const auto& e : entries) {
    char weight[64];
    std::snprintf(weight, sizeof weight, "%.10g", e.second);
    out.push_back(Utf8(e.first.first) + "|" + Utf8(e.first.second) + "|" + weight);
  }
  return out;
}

class ModelFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir("model_file"); }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes UTF-8 text as GBK and loads it.
  bool LoadText(CMEModel& model, const std::string& utf8) {
    WriteFile(Path("m.txt"), Gbk(utf8));
    return model.Load(Path("m.txt"), false);
  }
  std::string dir_;
};

TEST_F(ModelFileTest, LoadsEntriesInFileOrder) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\tchar=A\t0.5\n2\tchar=A\t-1.25\n"));
  EXPECT_EQ(model.OutcomeCount(), 2);
  EXPECT_EQ(model.PredicateCount(), 1);
  EXPECT_EQ(model.FeatureCount(), 2);
  const CMEModel::Impl& m = model.Internals();
  EXPECT_EQ(m.feature_keys, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(model.Weights(), (std::vector<double>{0.5, -1.25}));
  EXPECT_EQ(Utf8(model.GetOutcome(0)), "1");
  EXPECT_EQ(Utf8(model.GetOutcome(1)), "2");
}

TEST_F(ModelFileTest, OnlyTheFirstAndLastTabSplitALine) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\tpre\tdi\tcate\t0.25\r\n5\t中国\t-2\r\n"));
  EXPECT_EQ(model.PredicateIndex(U("pre\tdi\tcate")), 0);
  EXPECT_EQ(model.PredicateIndex(U("中国")), 1);
  // The carriage return ends the number.
  EXPECT_EQ(model.Weights(), (std::vector<double>{0.25, -2.0}));
}

TEST_F(ModelFileTest, MissingFileIsReportedAndEmptiesTheModel) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\ta\t0.5\n"));
  const std::string missing = Path("none/model.txt");
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Load(missing, false));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + missing + " !\nerror: " +
                                                   missing + ": No such file or directory\n");
  EXPECT_EQ(model.FeatureCount(), 0);
  EXPECT_EQ(model.PredicateCount(), 0);
}

TEST_F(ModelFileTest, UnreadablePathIsAFailedLoad) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\ta\t0.5\n"));
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Load(dir_, false));  // a directory
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot read " + dir_ + " !\n");
  EXPECT_EQ(model.OutcomeCount(), 0);
  EXPECT_EQ(model.FeatureCount(), 0);
}

// A failed load empties the tables and the outcome count with them: the
// model must not claim outcomes it does not have.
TEST_F(ModelFileTest, FailedLoadKeepsNoOutcomeCountRegression) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\ta\t0.5\n2\ta\t0.5\n"));
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Load(Path("missing.txt"), false));
  testing::GetCapturedDiagnostics();
  EXPECT_EQ(model.OutcomeCount(), 0);
  std::vector<double> probs;
  EXPECT_EQ(model.Eval(Sample("", {"a"}), probs), 0);
  EXPECT_TRUE(probs.empty());
}

// A repeated pair must not append its weight without a feature, shifting
// every later weight onto the wrong feature.
TEST_F(ModelFileTest, RepeatedPairDoesNotShiftLaterWeightsRegression) {
  CMEModel model;
  testing::CaptureDiagnostics();
  ASSERT_TRUE(LoadText(model, "1\ta\t0.5\n1\tb\t0.25\n1\ta\t0.75\n1\tc\t2\n"));
  const std::string err = testing::GetCapturedDiagnostics();
  EXPECT_NE(err.find("warning: line 3 of model file"), std::string::npos) << err;
  EXPECT_EQ(model.FeatureCount(), 3);
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0.75", "1|b|0.25", "1|c|2"}));
}

// Outcomes past the 64th are tracked apart from the first 64: a pair of the
// 71st outcome must neither pass for one of the 7th nor go unnoticed when
// repeated.
TEST_F(ModelFileTest, RepeatedPairsOfOutcomesPastTheSixtyFourth) {
  std::string text;
  for (int o = 0; o < 130; ++o)
    text += "o" + std::to_string(o) + "\ta\t" + std::to_string(o) + "\n";
  text += "o6\tb\t1\no70\tb\t2\no70\ta\t9\n";
  CMEModel model;
  testing::CaptureDiagnostics();
  ASSERT_TRUE(LoadText(model, text));
  const std::string err = testing::GetCapturedDiagnostics();
  EXPECT_NE(err.find("warning: line 133 of model file"), std::string::npos) << err;
  EXPECT_EQ(err.find("line 132 "), std::string::npos) << err;
  EXPECT_EQ(model.FeatureCount(), 132);
  const std::vector<std::string> dump = Dump(model);
  EXPECT_NE(std::find(dump.begin(), dump.end(), "o70|a|9"), dump.end());
  EXPECT_NE(std::find(dump.begin(), dump.end(), "o6|a|6"), dump.end());
  EXPECT_NE(std::find(dump.begin(), dump.end(), "o70|b|2"), dump.end());
}

// A file is read ahead on a second thread in batches of lines, some of whose
// weights are read by the loading thread: across many batches the lines
// keep their order, numbers and weights, and a fault is named by its line.
TEST_F(ModelFileTest, LinesAcrossManyReadAheadBatches) {
  const int kLines = 60000;
  std::string text;
  for (int i = 0; i < kLines; ++i) {
    text +=
        std::to_string(i % 3) + "\tp" + std::to_string(i / 3) + "\t" + std::to_string(i) + ".5\n";
  }
  WriteFile(Path("big.txt"), text);
  CMEModel model;
  ASSERT_TRUE(model.Load(Path("big.txt"), false));
  EXPECT_EQ(model.FeatureCount(), kLines);
  EXPECT_EQ(model.PredicateCount(), kLines / 3);
  const std::vector<std::string> dump = Dump(model);
  for (const int i : {0, 4095, 4096, 20479, 20480, 59999}) {
    const std::string entry =
        std::to_string(i % 3) + "|p" + std::to_string(i / 3) + "|" + std::to_string(i) + ".5";
    EXPECT_NE(std::find(dump.begin(), dump.end(), entry), dump.end()) << entry;
  }
  // A bad weight in every position of the fifth batch (lines 16,385 to
  // 20,480) and the first reading of the file name the same line.
  for (const int bad : {3, 16385, 18000, 20480, 45000}) {
    std::string broken;
    for (int i = 1; i <= 25000 + bad % 7; ++i) {
      broken += i == bad ? "1\tq\tx1\n" : "1\tp" + std::to_string(i) + "\t1\n";
    }
    if (bad > 25000) broken = text + "1\tq\tnan\n";
    WriteFile(Path("broken.txt"), broken);
    testing::CaptureDiagnostics();
    EXPECT_FALSE(model.Load(Path("broken.txt"), false));
    const int line = bad > 25000 ? kLines + 1 : bad;
    const std::string weight = bad > 25000 ? "nan" : "x1";
    EXPECT_EQ(testing::GetCapturedDiagnostics(),
              "error: model file " + Path("broken.txt") + ", line " + std::to_string(line) +
                  ": weight '" + weight + "' is not a finite number\n");
  }
}

// A file read ahead before Load: the same model, and the same message when
// it cannot be opened; one that is never loaded stops reading on its own.
TEST_F(ModelFileTest, PrefetchedFileLoadsAsWithoutIt) {
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "1\tp" + std::to_string(i) + "\t0.25\n";
  WriteFile(Path("m.txt"), text);
  CMEModel plain, ahead;
  ASSERT_TRUE(plain.Load(Path("m.txt"), false));
  {
    CMEModelPrefetch prefetch(Path("m.txt"));
    ASSERT_TRUE(ahead.Load(Path("m.txt"), false, &prefetch));
    // Spent: a second Load through it reads the file itself.
    ASSERT_TRUE(ahead.Load(Path("m.txt"), false, &prefetch));
  }
  EXPECT_EQ(Dump(ahead), Dump(plain));
  { CMEModelPrefetch unused(Path("m.txt")); }
  const std::string missing = Path("none.txt");
  CMEModelPrefetch prefetch(missing);
  testing::CaptureDiagnostics();
  EXPECT_FALSE(ahead.Load(missing, false, &prefetch));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + missing + " !\nerror: " +
                                                   missing + ": No such file or directory\n");
}

TEST_F(ModelFileTest, LongLineIsNotSplit) {
  const std::string predicate = "p=" + std::string(5000, 'x') + "中";
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\t" + predicate + "\t1.5\n2\tq\t1\n"));
  EXPECT_EQ(model.FeatureCount(), 2);
  EXPECT_EQ(model.PredicateIndex(U(predicate)), 0);
  EXPECT_EQ(model.Weights()[0], 1.5);
}

TEST_F(ModelFileTest, SaveOrdersByCodeUnitsAndSkipsZeroWeights) {
  // 中 is U+4E2D and 国 U+56FD: code-unit order puts 中 first although
  // its GBK bytes (D6 D0) sort after those of 国 (B9 FA).
  EntryTable table;
  table.Add("b", "国", 1.0)
      .Add("b", "中", 2.5)
      .Add("a", "z", -0.125)
      .Add("a", "国", 0.0)
      .Add("a", "Z", 0.0000004)
      .Add("10", "z", 3.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  ASSERT_TRUE(model.Save(Path("saved.txt")));
  EXPECT_EQ(ReadFile(Path("saved.txt")), Gbk("10\tz\t3.000000\n"
                                             "a\tZ\t0.000000\n"
                                             "a\tz\t-0.125000\n"
                                             "b\t中\t2.500000\n"
                                             "b\t国\t1.000000\n"));

  // Reloading numbers outcomes, predicates and features in file order, and
  // 0.0000004 comes back as a feature of weight 0.
  CMEModel reloaded;
  ASSERT_TRUE(reloaded.Load(Path("saved.txt"), false));
  EXPECT_EQ(Utf8(reloaded.GetOutcome(0)), "10");
  EXPECT_EQ(Utf8(reloaded.GetOutcome(1)), "a");
  EXPECT_EQ(reloaded.PredicateIndex(U("z")), 0);
  EXPECT_EQ(reloaded.PredicateIndex(U("Z")), 1);
  EXPECT_EQ(reloaded.Weights(), (std::vector<double>{3.0, 0.0, -0.125, 2.5, 1.0}));
  EXPECT_EQ(reloaded.FeatureCount(), 5);
}

TEST_F(ModelFileTest, ZeroedSmallWeightsLeaveScoringAndTheSavedFile) {
  EntryTable table;
  table.Add("a", "x", 0.5)
      .Add("b", "x", -0.04)
      .Add("a", "y", 0.05)
      .Add("b", "y", -2.0)
      .Add("c", "x", 0.049999);
  CMEModel model;
  model.LoadTable(table.Entries());
  EXPECT_EQ(model.ZeroSmallWeights(0.05), 2);
  EXPECT_EQ(model.ZeroSmallWeights(0.05), 0);  // zeros are not counted again
  // Scoring sees the zeros: b and c score 0 on x like an outcome without a feature.
  CMESample sample;
  sample.predicates.push_back(U("x"));
  std::vector<double> probs;
  model.Eval(sample, probs);
  ASSERT_EQ(probs.size(), 3u);
  EXPECT_DOUBLE_EQ(probs[1], probs[2]);
  EXPECT_DOUBLE_EQ(probs[0] / probs[1], std::exp(0.5));
  ASSERT_TRUE(model.Save(Path("pruned.txt")));
  EXPECT_EQ(ReadFile(Path("pruned.txt")), Gbk("a\tx\t0.500000\na\ty\t0.050000\nb\ty\t-2.000000\n"));
}

TEST_F(ModelFileTest, SaveLoadSaveGivesTheSameBytes) {
  EntryTable table;
  for (int o = 0; o < 6; ++o) {
    for (int p = 0; p < 40; p += o + 1) {
      table.Add(std::to_string(o * 7 % 13), "字" + std::to_string(p * 31 % 17) + "=x",
                (o - 2.5) * 0.37 + p * 0.011);
    }
  }
  CMEModel model;
  model.LoadTable(table.Entries());
  ASSERT_TRUE(model.Save(Path("a.txt")));
  CMEModel reloaded;
  ASSERT_TRUE(reloaded.Load(Path("a.txt"), false));
  ASSERT_TRUE(reloaded.Save(Path("b.txt")));
  EXPECT_EQ(ReadFile(Path("a.txt")), ReadFile(Path("b.txt")));
  EXPECT_FALSE(ReadFile(Path("a.txt")).empty());
}

// ICU formats numbers after its default locale, which follows the
// environment: under de_DE a weight of 0.5 was written "0,500000" and read
// back as 0.
TEST_F(ModelFileTest, SavedNumbersIgnoreTheDefaultLocaleRegression) {
  const std::string previous = uloc_getDefault();
  UErrorCode status = U_ZERO_ERROR;
  uloc_setDefault("de_DE", &status);
  ASSERT_TRUE(U_SUCCESS(status));
  EntryTable table;
  table.Add("1", "a", 0.5).Add("1", "b", -1234567.25);
  CMEModel model;
  model.LoadTable(table.Entries());
  const bool saved = model.Save(Path("de.txt"));
  status = U_ZERO_ERROR;
  uloc_setDefault(previous.c_str(), &status);
  ASSERT_TRUE(saved);
  EXPECT_EQ(ReadFile(Path("de.txt")), "1\ta\t0.500000\n1\tb\t-1234567.250000\n");
}

// Paths are bytes: they went through a GBK decoding, so a directory named
// "€" (UTF-8) could be neither written nor read, and the message named a
// garbled path.
TEST_F(ModelFileTest, PathsAreBytesRegression) {
  const std::string dir = Path("€");
  std::filesystem::create_directory(dir);
  EntryTable table;
  table.Add("1", "a", 0.5);
  CMEModel model;
  model.LoadTable(table.Entries());
  ASSERT_TRUE(model.Save(dir + "/m.txt"));
  CMEModel reloaded;
  ASSERT_TRUE(reloaded.Load(dir + "/m.txt", false));
  EXPECT_EQ(Dump(reloaded), Dump(model));
  testing::CaptureDiagnostics();
  EXPECT_FALSE(reloaded.Load(dir + "/none.txt", false));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + dir +
                                                   "/none.txt !\nerror: " + dir +
                                                   "/none.txt: No such file or directory\n");
}

TEST_F(ModelFileTest, SaveToAnUncreatableFileFails) {
  CMEModel model;
  const std::string path = Path("no/such/dir/model.txt");
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Save(path));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + path + "!\n");
}

TEST_F(ModelFileTest, LoadTableStopsAtTheEndMarker) {
  const std::u16string after = u"after";
  MEModelEntry entries[] = {
      {u"1", u"a", 0.5}, {u"2", u"b", 1.5}, {u"///", u"", 0.0}, {after.c_str(), u"c", 9.0}};
  CMEModel model;
  EXPECT_TRUE(model.LoadTable(entries));
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0.5", "2|b|1.5"}));
  EXPECT_EQ(model.OutcomeCount(), 2);
  EXPECT_EQ(model.FindOutcome(U("after")), -1);
}

// Loading a table over a loaded model keeps weight i with feature i, also
// when the table does not repeat the model's features in order.
TEST_F(ModelFileTest, LoadTableOverALoadedModelKeepsWeightsWithTheirFeatures) {
  CMEModel model;
  ASSERT_TRUE(LoadText(model, "1\ta\t0.5\n1\tb\t0.25\n"));
  EntryTable table;
  table.Add("1", "b", 4.0).Add("2", "c", 8.0);
  model.LoadTable(table.Entries());
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0", "1|b|4", "2|c|8"}));
  EXPECT_EQ(model.OutcomeCount(), 2);
}

TEST_F(ModelFileTest, ExportEntriesKeepsZeroWeights) {
  EntryTable table;
  table.Add("y", "b", 0.0).Add("x", "b", 1.0).Add("x", "a", 0.0);
  CMEModel model;
  model.LoadTable(table.Entries());
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"x|a|0", "x|b|1", "y|b|0"}));
}

std::vector<unsigned char> Bytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

TEST_F(ModelFileTest, DecipheredWalkEndsAtAZeroThatEndsALine) {
  CMEModel model;
  model.LoadDeciphered(
      Bytes("1\ta\t0.5\n\n2\tb\t1.5\0"
            "3\tc\t7\n"s));
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0.5", "2|b|1.5"}));

  // A zero after a line feed ends an empty line, which is passed over like
  // the blank line above; the walk goes on.
  model.LoadDeciphered(
      Bytes("1\ta\t0.5\n\0\0"
            "2\tb\t1\n"s));
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0.5", "2|b|1"}));
}

TEST_F(ModelFileTest, DecipheredWalkParsesALastLineWithoutLineFeed) {
  CMEModel model;
  model.LoadDeciphered(Bytes("1\ta\t0.5\r\n" + Gbk("2\t中\t-1")));
  EXPECT_EQ(Dump(model), (std::vector<std::string>{"1|a|0.5", "2|中|-1"}));
  EXPECT_EQ(model.OutcomeCount(), 2);
}

TEST_F(ModelFileTest, DecipheredWalkMatchesThePlainLoad) {
  const std::string text = Gbk("1\t字=中\t0.5\n2\tb\t-1.5\n1\tc\t2\n");
  WriteFile(Path("p.txt"), text);
  CMEModel plain, walked;
  ASSERT_TRUE(plain.Load(Path("p.txt"), false));
  std::string padded = text;
  padded.resize(512, '\0');
  walked.LoadDeciphered(Bytes(padded));
  EXPECT_EQ(Dump(walked), Dump(plain));
  EXPECT_EQ(walked.Internals().feature_keys, plain.Internals().feature_keys);
}

// Weights are read with a fast path for plain decimals; every form must give
// the double that strtod gives for the same text.
TEST_F(ModelFileTest, WeightsReadAsStrtodReadsThem) {
  const std::vector<std::string> weights = {"0.206844",
                                            "-3.015472",
                                            "-0",
                                            "1e-5",
                                            "2.5E+3",
                                            "7",
                                            "1.",
                                            ".5",
                                            "+1.5",
                                            " 2.25",
                                            "0x1p3",
                                            "1e-400",
                                            "-1e-320",
                                            "3.5\r",
                                            "4.000000000000000000000001",
                                            "123456789012345678901234567890.5e-10"};
  std::string text;
  for (size_t k = 0; k < weights.size(); ++k) {
    text += "1\tp" + std::to_string(k) + "\t" + weights[k] + "\n";
  }
  CMEModel model;
  ASSERT_TRUE(LoadText(model, text));
  const std::vector<double>& loaded = model.Weights();
  ASSERT_EQ(loaded.size(), weights.size());
  for (size_t k = 0; k < weights.size(); ++k) {
    const double expected = std::strtod(weights[k].c_str(), nullptr);
    EXPECT_EQ(std::memcmp(&loaded[k], &expected, sizeof expected), 0)
        << weights[k] << ": " << loaded[k] << " != " << expected;
  }
  // What is not one finite number refuses the model (atof would read a
  // prefix, 0 or infinity).
  for (const char* bad : {"1.5abc", "1e309", "1e", "inf", "nan", "0.1 9", "abc"}) {
    CMEModel refused;
    testing::CaptureDiagnostics();
    EXPECT_FALSE(LoadText(refused, std::string("1\tp\t") + bad + "\n")) << bad;
    EXPECT_NE(testing::GetCapturedDiagnostics().find("line 1: weight"), std::string::npos) << bad;
  }
}

// GBK lines are decoded pair by pair from a table; every line must come out
// as the converter makes it, invalid and truncated sequences included.
TEST(GbkDecodeTest, MatchesTheConverterOnEveryPairAndOnBrokenBytes) {
  auto reference = [](const std::string& bytes) {
    std::vector<char16_t> out(bytes.size() + 1);
    const int32_t n = CCodePageSet::Get().ToUnicode(CCodePageSet::kGbk, bytes.data(),
                                                    static_cast<int32_t>(bytes.size()), out.data(),
                                                    static_cast<int32_t>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
  };
  std::vector<char16_t> decoded;
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    std::string line = "a\t";
    for (int trail = 0x00; trail <= 0xFF; ++trail) {
      line.push_back(static_cast<char>(lead));
      line.push_back(static_cast<char>(trail));
    }
    DecodeGbkInto(line.data(), line.size(), decoded);
    EXPECT_EQ(decoded, reference(line)) << "lead " << lead;
    // The same pairs one per line, and a lead byte that ends the line.
    for (int trail = 0x00; trail <= 0xFF; trail += 17) {
      const std::string pair = {'x', static_cast<char>(lead), static_cast<char>(trail)};
      DecodeGbkInto(pair.data(), pair.size(), decoded);
      EXPECT_EQ(decoded, reference(pair)) << lead << " " << trail;
      DecodeGbkInto(pair.data(), 2, decoded);
      EXPECT_EQ(decoded, reference(pair.substr(0, 2))) << lead;
    }
  }
  std::mt19937 random(12);
  for (int k = 0; k < 2000; ++k) {
    std::string line(random() % 24, '\0');
    for (char& c : line) c = static_cast<char>(random() % 3 == 0 ? random() % 0x80 : random());
    DecodeGbkInto(line.data(), line.size(), decoded);
    EXPECT_EQ(decoded, reference(line)) << k;
  }
}

}  // namespace
}  // namespace verrin
