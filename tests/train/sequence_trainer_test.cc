// Refining a model on whole decoded clauses.
#include "train/sequence_trainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/ne_engine.h"
#include "engine/ne_resource.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "resource/char_label_table.h"
#include "test_util.h"
#include "text/code_page.h"

namespace verrin {
namespace {

// Bracketed lines and their raw text.
const std::vector<std::pair<std::string, std::string>> kCorpus = {
    {"[P 张伟] 在 [L 北京] 工作 。", "张伟在北京工作。"},
    {"[P 李娜] 去 [L 上海] 开会 。", "李娜去上海开会。"},
    {"[O 国务院] 发布 了 通知 。", "国务院发布了通知。"},
    {"[P 王芳] 访问 [L 广州] 和 [L 深圳] 。", "王芳访问广州和深圳。"},
    {"记者 从 [O 外交部] 获悉 。", "记者从外交部获悉。"},
    {"[P 刘洋] 说 ， 天气 很 好 。", "刘洋说，天气很好。"},
    {"我们 在 [L 南京] 见面 。", "我们在南京见面。"},
};

class SequenceTrainerTest : public ::testing::Test {
 protected:
  SequenceTrainerTest() : engine_(&resource_) { engine_.SetProgress(false); }

  // Generates the events of `corpus` (which also fills the resource's label
  // table) and loads a model with every (label, predicate) pair of the
  // events, at weight `single_weight` for label 1 (a one-character word)
  // and 0 for the others.
  void PrepareModel(const std::string& corpus, double single_weight = 0.0) {
    dir_ = testing::MakeTempDir("sequence-trainer");
    corpus_path_ = dir_ + "/corpus.txt";
    testing::WriteFile(corpus_path_, testing::Gbk(corpus));
    testing::CaptureDiagnostics();
    ASSERT_TRUE(engine_.GenerateFeatureData(corpus_path_.c_str(), 0, dir_.c_str()));
    testing::GetCapturedDiagnostics();

    const std::string events =
        testing::Utf8(FromGbk(testing::ReadFile(dir_ + "/ME_featuredata_tr.txt")));
    size_t start = 0;
    while (start < events.size()) {
      size_t end = events.find('\n', start);
      if (end == std::string::npos) end = events.size();
      const std::string line = events.substr(start, end - start);
      start = end + 1;
      const size_t last = line.rfind(' ');
      if (last == std::string::npos) continue;
      const std::u16string label = testing::U(line.substr(last + 1)).c_str();
      size_t p = 0;
      while (p < last) {
        size_t q = line.find(' ', p);
        if (q == std::string::npos || q > last) q = last;
        texts_.emplace_back(label, testing::U(line.substr(p, q - p)).c_str());
        p = q + 1;
      }
    }
    std::vector<MEModelEntry> entries;
    for (const auto& [label, predicate] : texts_) {
      entries.push_back({label.c_str(), predicate.c_str(), label == u"1" ? single_weight : 0.0});
    }
    entries.push_back({u"///", u"", 0.0});
    resource_.Classifier().Model().LoadTable(entries.data());
  }

  // The model of PrepareModel(corpus, 3.0) for the whole of kCorpus: it cuts
  // every word into single characters.
  void PrepareSingleCharacterModel() {
    std::string corpus;
    for (const auto& entry : kCorpus) corpus += entry.first + "\n";
    PrepareModel(corpus, 3.0);
  }

  // Epochs until one decodes every clause as the corpus labels it; the
  // number of epochs run (max_epochs + 1 when it never happened).
  int TrainUntilClean(CSequenceTrainer& trainer, int max_epochs, int64_t* first_wrong) {
    for (int epoch = 1; epoch <= max_epochs; ++epoch) {
      SequenceEpochStats stats;
      std::string error;
      EXPECT_TRUE(trainer.RunEpoch(corpus_path_, nullptr, &stats, &error)) << error;
      if (epoch == 1) *first_wrong = stats.wrong_clauses;
      if (stats.wrong_clauses == 0) return epoch;
    }
    return max_epochs + 1;
  }

  // The tagger's rendering of raw text, one clause per line.
  std::string Tag(const std::string& raw) {
    std::vector<NEWordNode> nodes;
    CUString rendered;
    EXPECT_TRUE(engine_.TagSentence(testing::U(raw), false, nodes, rendered));
    return testing::Utf8(rendered);
  }

  CNEResource resource_;
  CNEEngine engine_;
  std::string dir_;
  std::string corpus_path_;
  std::vector<std::pair<std::u16string, std::u16string>> texts_;
};

TEST_F(SequenceTrainerTest, ClauseCarriesCorpusLabelsAndTaggingSamples) {
  PrepareModel("[P 甲乙] 说\n");
  CSequenceTrainer trainer(&engine_, SequenceTrainingOptions());
  CUString text;
  std::vector<int32_t> reference;
  std::vector<CMESample> samples;
  ASSERT_TRUE(trainer.PrepareClause(testing::U("[P 甲乙] 说"), &text, &reference, &samples));
  EXPECT_EQ(testing::Utf8(text), "甲乙说");
  EXPECT_EQ(reference, (std::vector<int32_t>{2, 4, 1, 52}));
  ASSERT_EQ(samples.size(), 4u);
  // Tagging samples: the characters are free (label 1) and carry the
  // predicates of the training events without the two history predicates.
  const std::string events =
      testing::Utf8(FromGbk(testing::ReadFile(dir_ + "/ME_featuredata_tr.txt")));
  std::string rebuilt;
  const char* history[] = {"pv1lb=51 pv2lb=0 ", "pv1lb=2 pv2lb=51 ", "pv1lb=4 pv2lb=2 ",
                           "pv1lb=1 pv2lb=4 "};
  const char* gold[] = {"2", "4", "1", "52"};
  for (size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(testing::Utf8(samples[i].label), i < 3 ? "1" : "52");
    rebuilt += history[i];
    for (const CUString& predicate : samples[i].predicates) {
      rebuilt += testing::Utf8(predicate) + " ";
    }
    rebuilt += std::string(gold[i]) + "\n";
  }
  EXPECT_EQ(rebuilt, events);
}

TEST_F(SequenceTrainerTest, LearnsToDecodeTheCorpusFromAModelThatSeesOnlySingleCharacters) {
  PrepareSingleCharacterModel();
  SequenceTrainingOptions options;
  options.rate = 0.5;
  // Every line holds a longer word or a name, which the start model cuts up.
  for (const auto& [bracketed, raw] : kCorpus) EXPECT_NE(Tag(raw), bracketed) << raw;

  CSequenceTrainer trainer(&engine_, options);
  int64_t first_wrong = 0;
  const int epochs = TrainUntilClean(trainer, 30, &first_wrong);
  EXPECT_GT(first_wrong, 0);
  EXPECT_LE(epochs, 30);
  EXPECT_GT(trainer.Updates(), 0);

  // The averaged weights, which the model gets, tag the raw text as the
  // corpus brackets it.
  trainer.UseAveragedWeights();
  for (const auto& [bracketed, raw] : kCorpus) EXPECT_EQ(Tag(raw), bracketed) << raw;
}

TEST_F(SequenceTrainerTest, MarginKeepsUpdatingWhereTheCorpusPathWinsNarrowly) {
  PrepareSingleCharacterModel();
  SequenceTrainingOptions options;
  options.rate = 0.5;
  CSequenceTrainer trainer(&engine_, options);
  int64_t first_wrong = 0;
  ASSERT_LE(TrainUntilClean(trainer, 30, &first_wrong), 30);

  // Every character the search labels wrongly now earns 50: the narrow wins
  // of the corpus's paths turn into losses, and the trainer acts on them.
  options.margin = 50;
  CSequenceTrainer wide(&engine_, options);
  SequenceEpochStats stats;
  std::string error;
  ASSERT_TRUE(wide.RunEpoch(corpus_path_, nullptr, &stats, &error));
  EXPECT_GT(stats.wrong_clauses, 0);
  EXPECT_EQ(stats.skipped, 0);
}

TEST_F(SequenceTrainerTest, EntitiesOnlyIgnoresHowPlainWordsAreCut) {
  // No entity at all; the start model cuts every word into characters.
  PrepareModel("天气 很 好 。\n我们 在 南京 见面 。\n", 3.0);
  SequenceTrainingOptions options;
  options.margin = 5;
  options.entities_only = true;
  CSequenceTrainer entities(&engine_, options);
  SequenceEpochStats stats;
  std::string error;
  ASSERT_TRUE(entities.RunEpoch(corpus_path_, nullptr, &stats, &error));
  EXPECT_EQ(stats.clauses, 2);
  EXPECT_EQ(stats.wrong_clauses, 0);
  EXPECT_EQ(entities.Updates(), 0);

  options.entities_only = false;
  CSequenceTrainer all(&engine_, options);
  SequenceEpochStats all_stats;
  ASSERT_TRUE(all.RunEpoch(corpus_path_, nullptr, &all_stats, &error));
  EXPECT_EQ(all_stats.wrong_clauses, 2);
}

TEST_F(SequenceTrainerTest, AveragedWeightsSwapInAndOutExactly) {
  std::string corpus;
  for (const auto& entry : kCorpus) corpus += entry.first + "\n";
  PrepareModel(corpus);
  SequenceTrainingOptions options;
  options.rate = 0.5;
  CSequenceTrainer trainer(&engine_, options);
  SequenceEpochStats stats;
  std::string error;
  ASSERT_TRUE(trainer.RunEpoch(corpus_path_, nullptr, &stats, &error));
  ASSERT_TRUE(trainer.RunEpoch(corpus_path_, nullptr, &stats, &error));

  CMEModel::Impl& m = resource_.Classifier().Model().Internals();
  const std::vector<double> current(m.row_weight.begin(), m.row_weight.end());
  trainer.UseAveragedWeights();
  EXPECT_FALSE(
      std::equal(current.begin(), current.end(), m.row_weight.begin(), m.row_weight.end()));
  // The feature table, which saving reads, follows the rows.
  for (size_t k = 0; k < m.row_weight.size(); ++k) {
    ASSERT_EQ(m.weights[static_cast<size_t>(m.row_feature[k])], m.row_weight[k]);
  }
  trainer.UseCurrentWeights();
  EXPECT_TRUE(std::equal(current.begin(), current.end(), m.row_weight.begin(), m.row_weight.end()));
}

TEST_F(SequenceTrainerTest, ClauseTheLatticeCannotLabelIsSkipped) {
  PrepareModel("[P 甲乙] 说\n说 说\n");
  // 甲 may only begin a longer word, not a name: the corpus's path is
  // out of reach.
  resource_.CharLabels().Set(u'甲', 1 << 5);
  CSequenceTrainer trainer(&engine_, SequenceTrainingOptions());
  SequenceEpochStats stats;
  std::string error;
  // Progress comes in bytes of the corpus, one report a line, up to its size.
  std::vector<std::pair<int64_t, int64_t>> reports;
  ASSERT_TRUE(trainer.RunEpoch(
      corpus_path_, [&](int64_t done, int64_t total) { reports.emplace_back(done, total); }, &stats,
      &error));
  EXPECT_EQ(stats.lines, 2);
  EXPECT_EQ(stats.skipped, 1);
  EXPECT_EQ(stats.clauses, 1);
  const auto size = static_cast<int64_t>(testing::ReadFile(corpus_path_).size());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_LT(reports[0].first, reports[1].first);
  EXPECT_EQ(reports[1], std::make_pair(size, size));
}

TEST_F(SequenceTrainerTest, MissingCorpusIsAnError) {
  PrepareModel("说 说\n");
  CSequenceTrainer trainer(&engine_, SequenceTrainingOptions());
  SequenceEpochStats stats;
  std::string error;
  EXPECT_FALSE(trainer.RunEpoch(dir_ + "/missing.txt", nullptr, &stats, &error));
  EXPECT_EQ(error, "cannot open the corpus " + dir_ + "/missing.txt");
}

}  // namespace
}  // namespace verrin
