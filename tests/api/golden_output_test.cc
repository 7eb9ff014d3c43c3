// Tagging results of the shipped model on a fixed set of lines, compared with
// results saved earlier (tests/data/golden). Any change to a record or a
// rendering fails here: speed work and refactoring must leave them alone.
//
// To re-create the saved results after an intended change of behaviour, run
// the test with VERRIN_GOLDEN_SOURCE set to a directory holding the source
// lines option0.txt, option1.txt and option2.txt (UTF-8, one line each):
// lines the tagger cannot decode are left out, and the inputs and results
// under tests/data/golden are rewritten.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin {
namespace {

const std::string kDefault = VERRIN_DEFAULT_RESOURCE_DIR;
const std::string kGolden = std::string(VERRIN_TEST_DATA_DIR) + "/golden";

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// One block per input line: "= " and the rendering, then one line per record
// "offset length type tag word" (tag "-" when null), then a blank line.
std::string Describe(CKyVerrin& tagger, const std::string& line, int option) {
  const CUString text = testing::U(line);
  tag_WordInfoW* records = nullptr;
  int count = 0;
  std::ostringstream out;
  if (!tagger.KyTagNEInfo(text.c_str(), option, records, count)) return "tagging failed\n\n";
  std::vector<char16_t> rendered(static_cast<size_t>(CKyVerrin::RenderedLength(records, count)) +
                                 1);
  tagger.OutputTaggedSentence(records, count, rendered.data());
  out << "= " << testing::Utf8(rendered.data()) << '\n';
  for (int i = 0; i < count; ++i) {
    const tag_WordInfoW& r = records[i];
    out << r.nOffset << ' ' << static_cast<int>(r.cLength) << ' ' << static_cast<int>(r.cWordType)
        << ' ' << (r.pTag != nullptr ? testing::Utf8(r.pTag) : "-") << ' ' << testing::Utf8(r.pWord)
        << '\n';
  }
  out << '\n';
  tagger.FreeWordSegResult(records, count);
  return out.str();
}

// Splits a results file into its blocks (each ends with a blank line).
std::vector<std::string> ReadBlocks(const std::string& path) {
  std::vector<std::string> blocks;
  std::string block;
  for (const std::string& line : ReadLines(path)) {
    block += line + '\n';
    if (line.empty()) {
      blocks.push_back(block);
      block.clear();
    }
  }
  if (!block.empty()) blocks.push_back(block);
  return blocks;
}

class GoldenOutputTest : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    manager_ = new CNEResourceManager();
    ASSERT_TRUE(manager_->LoadResource(kDefault.c_str(), (kDefault + "/model.txt").c_str(), false));
  }
  static void TearDownTestSuite() {
    delete manager_;
    manager_ = nullptr;
  }

  static void Rewrite(const std::string& source_dir, int option) {
    const std::string name = "option" + std::to_string(option);
    CKyVerrin tagger(manager_);
    std::ofstream inputs(kGolden + "/" + name + ".txt");
    std::ofstream results(kGolden + "/" + name + ".expected");
    for (const std::string& line : ReadLines(source_dir + "/" + name + ".txt")) {
      testing::CaptureDiagnostics();
      const std::string block = Describe(tagger, line, option);
      const std::string errors = testing::GetCapturedDiagnostics();
      if (errors.find("error sent") != std::string::npos) continue;
      inputs << line << '\n';
      results << block;
    }
  }

  static CNEResourceManager* manager_;
};

CNEResourceManager* GoldenOutputTest::manager_ = nullptr;

TEST_P(GoldenOutputTest, RecordsAndRenderingsMatchSavedResults) {
  const int option = GetParam();
  if (const char* source = std::getenv("VERRIN_GOLDEN_SOURCE")) Rewrite(source, option);

  const std::string name = "option" + std::to_string(option);
  const std::vector<std::string> lines = ReadLines(kGolden + "/" + name + ".txt");
  const std::vector<std::string> expected = ReadBlocks(kGolden + "/" + name + ".expected");
  ASSERT_GE(lines.size(), 40u) << name;
  ASSERT_EQ(lines.size(), expected.size()) << name;
  CKyVerrin tagger(manager_);
  int mismatches = 0;
  for (size_t i = 0; i < lines.size() && mismatches < 5; ++i) {
    const std::string actual = Describe(tagger, lines[i], option);
    if (actual != expected[i]) ++mismatches;
    EXPECT_EQ(actual, expected[i]) << name << " line " << i + 1 << ": " << lines[i];
  }
}

INSTANTIATE_TEST_SUITE_P(SeparatorOptions, GoldenOutputTest, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace verrin
