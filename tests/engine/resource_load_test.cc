// The first load step: the lexicons and the model load at the same time, yet
// their messages come as from a load in turn.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/ne_resource.h"
#include "io/protected_file.h"
#include "test_util.h"

namespace verrin {
namespace {

using testing::MakeTempDir;
using testing::WriteFile;

// Runs the first load step and returns its messages.
std::string LoadMessages(const std::string& dir, const std::string& model, bool protected_form,
                         bool* loaded) {
  CNEResource resource;
  testing::CaptureDiagnostics();
  *loaded = resource.LoadDictionaries(dir.c_str(), model.c_str(), protected_form);
  return testing::GetCapturedDiagnostics();
}

void WriteProtected(const std::string& plain_path) {
  WriteFile(plain_path, "");
  std::FILE* in = std::fopen(plain_path.c_str(), "rb");
  std::FILE* out = std::fopen(ProtectedPathFor(plain_path).c_str(), "wb");
  EXPECT_TRUE(in && out && EncipherFile(in, out, kProtectedKey));
  if (in) std::fclose(in);
  if (out) std::fclose(out);
}

TEST(ResourceLoadTest, ModelMessagesOnlyAfterEveryLexiconLoaded) {
  const std::string dir = MakeTempDir("resource_load");
  const std::string model = dir + "/model.txt";
  // A repeated pair (a warning), then faults at lines 3 and 5.
  WriteFile(model, "1\ta\t0.5\n1\ta\t0.5\n1\tb\tx\n1\tc\t1\n1\td\ty\n");
  WriteFile(dir + "/NeItem.txt", "");
  WriteFile(dir + "/NeAffix.txt", "");
  bool loaded = true;
  EXPECT_EQ(LoadMessages(dir, model, false, &loaded),
            "load " + dir + "/dict.txt failed.\nerror: cannot open " + dir +
                "/dict.txt: No such file or directory\n");
  EXPECT_FALSE(loaded);

  WriteFile(dir + "/dict.txt", "");
  EXPECT_EQ(LoadMessages(dir, model, false, &loaded),
            "warning: line 2 of model file " + model +
                " repeats an outcome and predicate pair; its weight replaces the earlier "
                "one\nerror: model file " +
                model + ", line 3: weight 'x' is not a finite number\n");
  EXPECT_FALSE(loaded);

  WriteFile(model, "1\ta\t0.5\n");
  EXPECT_EQ(LoadMessages(dir, model, false, &loaded), "");
  EXPECT_TRUE(loaded);
}

// The protected form names a missing PeInfo table without failing: that
// message comes before the model's.
TEST(ResourceLoadTest, ProtectedLexiconMessagesPrecedeTheModels) {
  const std::string dir = MakeTempDir("resource_load_protected");
  for (const char* file : {"/NeItem.txt", "/NeAffix.txt", "/dict.txt"}) WriteProtected(dir + file);
  const std::string model = dir + "/model.txt";
  bool loaded = true;
  EXPECT_EQ(LoadMessages(dir, model, true, &loaded),
            "open file " + dir + "/PeInfo.des failed.\nerror: cannot open " + model +
                " !\nerror: " + dir + "/model.des: No such file or directory\n");
  EXPECT_FALSE(loaded);
}

}  // namespace
}  // namespace verrin
