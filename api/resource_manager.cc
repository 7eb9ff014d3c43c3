#include <clocale>
#include <cstdio>
#include <new>
#include <vector>

#include "api/messages.h"
#include "engine/ne_resource.h"
#include "io/protected_file.h"
#include "text/diagnostics.h"
#include "verrin/verrin.h"

namespace {

using RetiredSets = std::vector<verrin::CNEResource*>;

// Callers expect the process to run in the simplified-Chinese (GBK) locale
// after loading, so the first GBK locale the system has is set. Nothing in
// this library depends on it (files go through the GBK converter, numbers
// are parsed without the locale), so a system without any GBK locale simply
// keeps its locale.
void SetChineseLocale() {
  static const char* const kLocales[] = {"chs",           "zh_CN.GBK",     "zh_CN.gbk",
                                         "zh_CN.GB18030", "zh_CN.gb18030", "zh_CN.GB2312",
                                         "zh_CN.gb2312"};
  for (const char* name : kLocales) {
    if (std::setlocale(LC_ALL, name) != nullptr) return;
  }
}

}  // namespace

CNEResourceManager::CNEResourceManager() : resource_(nullptr), retired_(nullptr) {}

CNEResourceManager::~CNEResourceManager() {
  delete resource_;
  resource_ = nullptr;
  if (retired_ != nullptr) {
    auto* retired = static_cast<RetiredSets*>(retired_);
    for (verrin::CNEResource* set : *retired) delete set;
    delete retired;
    retired_ = nullptr;
  }
}

CNEResourceManager& CNEResourceManager::operator=(const CNEResourceManager& other) {
  resource_ = other.resource_;
  retired_ = other.retired_;
  return *this;
}

bool CNEResourceManager::LoadResource(const char* dir, const char* modelPath, bool encrypted) {
  verrin::CDiagnosticsRecorder messages;
  SetChineseLocale();
  if (resource_ != nullptr) {
    // Taggers made from the old set keep using it.
    if (retired_ == nullptr) retired_ = new RetiredSets();
    static_cast<RetiredSets*>(retired_)->push_back(resource_);
    resource_ = nullptr;
  }
  verrin::CNEResource* set = nullptr;
  try {
    set = new verrin::CNEResource();
  } catch (const std::bad_alloc&) {
    throw "Out of memory";
  }
  resource_ = set;
  bool ok = set->LoadDictionaries(dir, modelPath, encrypted);
  if (ok) ok = set->LoadCharLabels(0, dir, encrypted);
  if (!ok) {
    delete set;
    resource_ = nullptr;
    verrin::SetLastError(messages.Text(), "the resources could not be loaded");
  }
  return ok;
}

std::string VerrinProtectedPath(const std::string& path) { return verrin::ProtectedPathFor(path); }
