// The protected form of model files: a plain model enciphered in 512-byte
// chunks loads exactly like the plain file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "io/protected_file.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent_test_util.h"

namespace verrin {
namespace {

using testing::Gbk;
using testing::MakeTempDir;
using testing::U;
using testing::WriteFile;

void Protect(const std::string& plain, const std::string& protected_path) {
  std::FILE* in = std::fopen(plain.c_str(), "rb");
  std::FILE* out = std::fopen(protected_path.c_str(), "wb");
  ASSERT_NE(in, nullptr);
  ASSERT_NE(out, nullptr);
  EncipherFile(in, out, kProtectedKey);
  std::fclose(in);
  std::fclose(out);
}

class ProtectedModelTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir("protected_model"); }
  std::string dir_;
};

TEST_F(ProtectedModelTest, LoadsLikeThePlainFile) {
  // More than one 512-byte chunk, Chinese text, and no final line feed.
  std::string text;
  for (int i = 0; i < 60; ++i) {
    text += std::to_string(i % 7) + "\t字=" + std::to_string(i) + "中\t" +
            std::to_string(i * 0.25 - 3) + "\n";
  }
  text += "9\tlast\t1.5";
  WriteFile(dir_ + "/model.txt", Gbk(text));
  Protect(dir_ + "/model.txt", dir_ + "/model.des");
  std::remove((dir_ + "/model.txt").c_str());

  CMEModel protected_model;
  ASSERT_TRUE(protected_model.Load(dir_ + "/model.txt", true));
  // The plain twin needs its final line feed: without it the file could be
  // cut anywhere in its last line. The protected text ends at its padding.
  WriteFile(dir_ + "/plain.txt", Gbk(text + "\n"));
  CMEModel plain;
  ASSERT_TRUE(plain.Load(dir_ + "/plain.txt", false));
  EXPECT_EQ(protected_model.FeatureCount(), 61);
  EXPECT_EQ(protected_model.Internals().feature_keys, plain.Internals().feature_keys);
  EXPECT_EQ(protected_model.Weights(), plain.Weights());
  EXPECT_EQ(protected_model.OutcomeCount(), plain.OutcomeCount());
  EXPECT_EQ(protected_model.PredicateIndex(U("last")), 60);
}

TEST_F(ProtectedModelTest, MissingProtectedFileNamesThePlainPath) {
  const std::string plain = dir_ + "/model.txt";
  WriteFile(plain, "1\ta\t1\n");  // the plain file exists, its twin does not
  CMEModel model;
  testing::CaptureDiagnostics();
  EXPECT_FALSE(model.Load(plain, true));
  EXPECT_EQ(testing::GetCapturedDiagnostics(), "error: cannot open " + plain +
                                                   " !\nerror: " + dir_ +
                                                   "/model.des: No such file or directory\n");
  EXPECT_EQ(model.OutcomeCount(), 0);
}

}  // namespace
}  // namespace verrin
