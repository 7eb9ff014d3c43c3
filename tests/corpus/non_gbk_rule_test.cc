// Characters outside GBK: the converter writes each such unit as 〓 and the
// tagger computes predicates and candidate labels with 〓 in its place, so
// the events training reads for such a character are the samples tagging
// computes for it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "corpus/corpus_converter.h"
#include "corpus/corpus_test_util.h"
#include "engine/clause.h"
#include "engine/feature_extractor.h"
#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "maxent/me_model.h"
#include "test_util.h"
#include "text/code_page.h"
#include "text/gbk_unit.h"

namespace verrin {
namespace {

using testing::U;
using testing::Utf8;

// The event lines of a file, each as its predicates without the label and
// without the label-history predicates that only training has.
std::vector<std::vector<std::string>> EventPredicates(const std::string& utf8_events) {
  std::vector<std::vector<std::string>> events;
  size_t start = 0;
  while (start < utf8_events.size()) {
    const size_t end = utf8_events.find('\n', start);
    const std::string line = utf8_events.substr(start, end - start);
    start = end + 1;
    std::vector<std::string> fields;
    size_t f = 0;
    while (f <= line.size()) {
      size_t space = line.find(' ', f);
      if (space == std::string::npos) space = line.size();
      fields.push_back(line.substr(f, space - f));
      f = space + 1;
    }
    fields.pop_back();  // the label
    std::vector<std::string> predicates;
    for (const std::string& p : fields) {
      if (p.rfind("pv1lb=", 0) != 0 && p.rfind("pv2lb=", 0) != 0) predicates.push_back(p);
    }
    events.push_back(predicates);
  }
  return events;
}

TEST(NonGbkRule, TrainingEventsCarryThePredicatesTaggingComputes) {
  ASSERT_FALSE(IsGbkUnit(u'\u2022'));  // '•'
  ASSERT_FALSE(IsGbkUnit(0xD83D));     // an emoji's first unit
  ASSERT_TRUE(IsGbkUnit(kNonGbkStandIn));

  // '•' inside a name and an emoji right after one.
  const testing::Conversion converted = testing::ConvertWith(
      testing::ReaderOptions(CorpusFormat::kWeibo, CorpusOutput::kCorpus),
      "杰0\tB-PER.NAM\n克1\tI-PER.NAM\n•0\tI-PER.NAM\n逊0\tI-PER.NAM\n在0\tO\n腾0\tB-ORG.NAM\n"
      "讯1\tI-ORG.NAM\n😀0\tO\n说0\tO\n");
  ASSERT_EQ(converted.output, "[P 杰克〓逊] 在 [O 腾讯] 〓 〓 说\n");

  CNEResource resource;
  CNEEngine engine(&resource);
  const std::string dir = testing::MakeTempDir("non-gbk");
  testing::WriteFile(dir + "/corpus.txt", testing::Gbk(converted.output));
  testing::CaptureDiagnostics();
  ASSERT_TRUE(engine.GenerateFeatureData((dir + "/corpus.txt").c_str(), 0, dir.c_str()));
  testing::GetCapturedDiagnostics();
  const std::vector<std::vector<std::string>> trained =
      EventPredicates(Utf8(FromGbk(testing::ReadFile(dir + "/ME_featuredata_tr.txt"))));

  // The raw sentence as tagging prepares it.
  NEClause clause;
  clause.training = false;
  engine.PreSegment(U("杰克•逊在腾讯😀说"), clause);
  engine.BuildProcessedText(clause);
  engine.InitLabels(clause);
  std::vector<CMESample> samples;
  ExtractSentenceFeatures(clause.text, clause.words, clause.labels, clause.classes, false, samples);
  std::vector<std::vector<std::string>> tagged;
  for (const CMESample& sample : samples) {
    std::vector<std::string> predicates;
    for (const CUString& p : sample.predicates) predicates.push_back(Utf8(p));
    tagged.push_back(predicates);
  }
  ASSERT_EQ(tagged.size(), 11u);  // ten units and the sentinel
  EXPECT_EQ(tagged, trained);
  EXPECT_EQ(tagged[2][0], "char=〓");
  EXPECT_EQ(tagged[7][0], "char=〓");  // the emoji's second unit

  // Tagging looks the same predicates up in a model that holds them all.
  std::set<std::string> predicates;
  for (const auto& event : trained) predicates.insert(event.begin(), event.end());
  std::string model_text;
  for (const std::string& p : predicates) model_text += "1\t" + p + "\t0.5\n";
  testing::WriteFile(dir + "/model.txt", testing::Gbk(model_text));
  CMEModel model;
  ASSERT_TRUE(model.Load(dir + "/model.txt", false));
  NEPredicateNames names;
  names.Bind(&model);
  NEIndexedSamples indexed;
  ExtractIndexedFeatures(clause.text, clause.words, clause.labels, clause.classes, names, indexed);
  ASSERT_EQ(indexed.Size(), tagged.size());
  for (size_t i = 0; i < tagged.size(); ++i) {
    std::vector<int32_t> expected;
    for (const std::string& p : tagged[i]) expected.push_back(model.PredicateIndex(U(p)));
    const std::vector<int32_t> found(indexed.predicates.begin() + indexed.starts[i],
                                     indexed.predicates.begin() + indexed.starts[i + 1]);
    EXPECT_EQ(found, expected) << "unit " << i;
  }

  // The label table recorded 〓 and answers for '•' and the emoji with it.
  const CharLabelTable& labels = resource.CharLabels();
  EXPECT_NE(labels.At(kNonGbkStandIn), 0);
  EXPECT_EQ(labels.At(u'\u2022'), labels.At(kNonGbkStandIn));
  EXPECT_EQ(labels.At(0xDE00), labels.At(kNonGbkStandIn));
}

}  // namespace
}  // namespace verrin
