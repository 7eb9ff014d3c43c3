// Helpers shared by the test executables.
#ifndef VERRIN_TESTS_TEST_UTIL_H_
#define VERRIN_TESTS_TEST_UTIL_H_

#include <string>

#include "text/ustring.h"

namespace verrin::testing {

// UTF-8 <-> CUString, for readable test literals.
CUString U(const std::string& utf8);
std::string Utf8(const CUString& text);
std::string Utf8(const char16_t* text, int length = -1);

// A fresh empty directory below the system temporary directory; every such
// directory of the process is removed when the process ends.
std::string MakeTempDir(const std::string& name);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
// The path of a file or folder of the committed test data (tests/data).
std::string TestData(const std::string& relative);
// UTF-8 text -> GBK bytes.
std::string Gbk(const std::string& utf8);

// Collects the calling thread's library diagnostics from now on instead of
// letting them reach standard error.
void CaptureDiagnostics();
// Stops collecting and returns what was collected since CaptureDiagnostics.
std::string GetCapturedDiagnostics();

// Runs a shell command; returns its exit status and captures standard output.
int RunCommand(const std::string& command, std::string* output);

}  // namespace verrin::testing

#endif  // VERRIN_TESTS_TEST_UTIL_H_
