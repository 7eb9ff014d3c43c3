// Diagnostics reach the sink in force on the calling thread.
#include "text/diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace verrin {
namespace {

TEST(DiagnosticsTest, ScopesNestPerThreadAndLongMessagesArriveWhole) {
  std::string outer, inner, other_thread;
  {
    CDiagnosticsScope outer_scope([&](std::string_view t) { outer.append(t); });
    Diagnose("a");
    {
      CDiagnosticsScope inner_scope([&](std::string_view t) { inner.append(t); });
      // Past the formatter's stack buffer: the message must not be cut.
      DiagnoseFormat("%s|%d\n", std::string(2000, 'x').c_str(), 7);
      std::thread([&] {
        CDiagnosticsScope scope([&](std::string_view t) { other_thread.append(t); });
        Diagnose("t");
      }).join();
    }
    Diagnose("b");
  }
  EXPECT_EQ(outer, "ab");
  EXPECT_EQ(inner, std::string(2000, 'x') + "|7\n");
  EXPECT_EQ(other_thread, "t");
}

}  // namespace
}  // namespace verrin
