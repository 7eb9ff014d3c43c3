#include "eval/ner_scorer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace verrin {
namespace {

std::vector<BioSentence> Read(const std::string& text) {
  std::vector<BioSentence> sentences;
  std::string error;
  EXPECT_TRUE(ReadBioText(text, "test", &sentences, &error)) << error;
  return sentences;
}

std::vector<EntitySpan> Spans(const std::vector<std::string>& tags) { return ExtractSpans(tags); }

TEST(ExtractSpans, ConllevalBoundaries) {
  // Adjacent B-LOC B-LOC are two entities.
  EXPECT_EQ(Spans({"B-LOC", "B-LOC", "O"}),
            (std::vector<EntitySpan>{{0, 1, "LOC"}, {1, 2, "LOC"}}));
  // I- after O, and I- at the start of a sentence, start an entity.
  EXPECT_EQ(Spans({"O", "I-PER", "I-PER"}), (std::vector<EntitySpan>{{1, 3, "PER"}}));
  EXPECT_EQ(Spans({"I-ORG"}), (std::vector<EntitySpan>{{0, 1, "ORG"}}));
  // I- of another class ends the entity and starts a new one.
  EXPECT_EQ(Spans({"B-PER", "I-LOC", "I-LOC"}),
            (std::vector<EntitySpan>{{0, 1, "PER"}, {1, 3, "LOC"}}));
  // B- inside an entity starts the next; the last one runs to the end.
  EXPECT_EQ(Spans({"B-PER", "I-PER", "B-PER", "O", "I-PER"}),
            (std::vector<EntitySpan>{{0, 2, "PER"}, {2, 3, "PER"}, {4, 5, "PER"}}));
  EXPECT_TRUE(Spans({"O", "O"}).empty());
}

// Worked by hand (gold | prediction, spans as [begin, end)):
//  1 港台两地     gold LOC[0,1) LOC[1,2)            | pred LOC[0,2)               -> 0 correct
//  2 江泽民在北京大学 gold PER[0,3) LOC[4,6) ORG[6,8) | pred PER[0,3) ORG[4,8)       -> PER correct
//  3 上海市政府   gold ORG[0,5)                     | pred LOC[1,3) (I- after O)  -> 0 correct
//  4 北京和上海   gold LOC[0,2) LOC[3,5)            | pred the same               -> 2 correct
// PER: gold 1, pred 1, correct 1 -> P = R = F1 = 100%
// LOC: gold 2+1+2 = 5, pred 1+1+2 = 4, correct 2 -> P 50%, R 40%, F1 2*2/9 = 44.44%
// ORG: gold 1+1 = 2, pred 1, correct 0 -> all 0
// overall: gold 8, pred 6, correct 3 -> P 50%, R 37.5%, F1 2*3/14 = 42.86%
const char kGold[] =
    "港 B-LOC\n台 B-LOC\n两 O\n地 O\n\n"
    "江 B-PER\n泽 I-PER\n民 I-PER\n在 O\n北 B-LOC\n京 I-LOC\n大 B-ORG\n学 I-ORG\n\n"
    "上 B-ORG\n海 I-ORG\n市 I-ORG\n政 I-ORG\n府 I-ORG\n\n"
    "北 B-LOC\n京 I-LOC\n和 O\n上 B-LOC\n海 I-LOC\n";
const char kPredicted[] =
    "港 B-LOC\n台 I-LOC\n两 O\n地 O\n\n"
    "江 B-PER\n泽 I-PER\n民 I-PER\n在 O\n北 B-ORG\n京 I-ORG\n大 I-ORG\n学 I-ORG\n\n"
    "上 O\n海 I-LOC\n市 I-LOC\n政 O\n府 O\n\n"
    "北 B-LOC\n京 I-LOC\n和 O\n上 B-LOC\n海 I-LOC\n\n";

TEST(ScoreSpans, WorkedExample) {
  const NerScore score = ScoreSpans(Read(kGold), Read(kPredicted));
  ASSERT_TRUE(score.ok) << score.error;
  EXPECT_EQ(score.sentences, 4);
  EXPECT_EQ(score.characters, 22);
  const SpanCounts& per = score.classes.at("PER");
  EXPECT_EQ(per.gold, 1);
  EXPECT_EQ(per.predicted, 1);
  EXPECT_EQ(per.correct, 1);
  EXPECT_DOUBLE_EQ(per.F1(), 1.0);
  const SpanCounts& loc = score.classes.at("LOC");
  EXPECT_EQ(loc.gold, 5);
  EXPECT_EQ(loc.predicted, 4);
  EXPECT_EQ(loc.correct, 2);
  EXPECT_DOUBLE_EQ(loc.Precision(), 0.5);
  EXPECT_DOUBLE_EQ(loc.Recall(), 0.4);
  EXPECT_NEAR(loc.F1(), 4.0 / 9.0, 1e-12);
  const SpanCounts& org = score.classes.at("ORG");
  EXPECT_EQ(org.gold, 2);
  EXPECT_EQ(org.predicted, 1);
  EXPECT_EQ(org.correct, 0);
  EXPECT_EQ(org.F1(), 0.0);
  EXPECT_EQ(score.overall.gold, 8);
  EXPECT_EQ(score.overall.predicted, 6);
  EXPECT_EQ(score.overall.correct, 3);
  EXPECT_DOUBLE_EQ(score.overall.Recall(), 0.375);
  EXPECT_NEAR(score.overall.F1(), 6.0 / 14.0, 1e-12);
  // F1 over counts equals 2PR / (P + R).
  const double p = score.overall.Precision(), r = score.overall.Recall();
  EXPECT_NEAR(score.overall.F1(), 2 * p * r / (p + r), 1e-12);

  const std::string table = FormatScoreTable(score);
  EXPECT_NE(table.find("sentences 4, characters 22\n"), std::string::npos);
  EXPECT_NE(table.find("LOC               5          4        2     50.00%   40.00%   44.44%\n"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("overall           8          6        3     50.00%   37.50%   42.86%\n"),
            std::string::npos)
      << table;
}

TEST(ScoreSpans, EmptyCountsGiveZeroNotNan) {
  const NerScore score = ScoreSpans(Read("甲 O\n"), Read("甲 O\n"));
  ASSERT_TRUE(score.ok);
  EXPECT_EQ(score.overall.Precision(), 0.0);
  EXPECT_EQ(score.overall.Recall(), 0.0);
  EXPECT_EQ(score.overall.F1(), 0.0);
  EXPECT_NE(FormatScoreTable(score).find("0.00%"), std::string::npos);
}

TEST(ScoreSpans, OtherClassesAreScoredToo) {
  const NerScore score = ScoreSpans(Read("甲 B-MISC\n乙 O\n"), Read("甲 B-MISC\n乙 I-MISC\n"));
  ASSERT_TRUE(score.ok);
  EXPECT_EQ(score.classes.at("MISC").gold, 1);
  EXPECT_EQ(score.classes.at("MISC").correct, 0);
  EXPECT_EQ(score.overall.predicted, 1);
  EXPECT_NE(FormatScoreTable(score).find("MISC"), std::string::npos);
}

TEST(ScoreSpans, MisalignedInputIsAnError) {
  const auto gold = Read("甲 O\n乙 O\n\n丙 O\n丁 O\n");
  NerScore score = ScoreSpans(gold, Read("甲 O\n乙 O\n"));
  EXPECT_FALSE(score.ok);
  EXPECT_EQ(score.error, "gold has 2 sentences, prediction has 1");

  score = ScoreSpans(gold, Read("甲 O\n乙 O\n\n\n丙 O\n"));
  EXPECT_FALSE(score.ok);
  EXPECT_EQ(score.error,
            "sentence 2 (gold line 4, prediction line 5): gold has 2 characters, prediction has 1");

  score = ScoreSpans(gold, Read("甲 O\n乙 O\n\n丙 O\n戊 O\n"));
  EXPECT_FALSE(score.ok);
  EXPECT_EQ(score.error,
            "sentence 2 (gold line 4, prediction line 4): character 2 is '丁' in gold and '戊' in "
            "prediction");
}

TEST(ReadBioText, LineEndsBlankRunsAndLineNumbers) {
  const auto sentences = Read(
      "\xEF\xBB\xBF"
      "a O\r\n\r\n\r\n  O\nb B-PER\t\nc\tI-PER");
  ASSERT_EQ(sentences.size(), 2u);
  EXPECT_EQ(sentences[0].chars, (std::vector<std::string>{"a"}));
  EXPECT_EQ(sentences[0].first_line, 1);
  // A space character keeps its line; a tab separates as well as a space.
  EXPECT_EQ(sentences[1].chars, (std::vector<std::string>{" ", "b", "c"}));
  EXPECT_EQ(sentences[1].tags, (std::vector<std::string>{"O", "B-PER", "I-PER"}));
  EXPECT_EQ(sentences[1].first_line, 4);
}

TEST(ReadBioText, BadLinesNameFileAndLine) {
  std::vector<BioSentence> sentences;
  std::string error;
  EXPECT_FALSE(ReadBioText("甲 O\n乙\n", "gold.bio", &sentences, &error));
  EXPECT_EQ(error, "gold.bio:2: expected a character and a tag, found '乙'");
  EXPECT_FALSE(ReadBioText("甲 O\n\n乙 S-PER\n", "pred.bio", &sentences, &error));
  EXPECT_EQ(error, "pred.bio:3: tag 'S-PER' is not O, B-CLASS or I-CLASS");
  EXPECT_FALSE(ReadBioText("甲 B-\n", "x", &sentences, &error));
}

TEST(ReadBioFile, ReadsAFileAndReportsAMissingOne) {
  const std::string dir = testing::MakeTempDir("scorer");
  testing::WriteFile(dir + "/gold.bio", kGold);
  std::vector<BioSentence> sentences;
  std::string error;
  ASSERT_TRUE(ReadBioFile(dir + "/gold.bio", &sentences, &error)) << error;
  EXPECT_EQ(sentences.size(), 4u);
  EXPECT_EQ(sentences[3].first_line, 21);
  EXPECT_FALSE(ReadBioFile(dir + "/none.bio", &sentences, &error));
  EXPECT_NE(error.find("none.bio"), std::string::npos);
}

}  // namespace
}  // namespace verrin
