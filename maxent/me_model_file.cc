// Model files: loading (plain and protected), saving, in-memory tables.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "io/protected_file.h"
#include "maxent/me_line_reader.h"
#include "maxent/me_model.h"
#include "maxent/me_model_impl.h"
#include "maxent/me_model_weight.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/diagnostics.h"
#include "text/file_system.h"
#include "text/number_format.h"

namespace verrin {
namespace {

// Warnings printed per load before the rest are only counted.
constexpr int32_t kMaxLoadWarnings = 10;

bool IsBlankUnit(char16_t unit) {
  return unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == u' ';
}

void Warn(int32_t* warnings, const std::string& message) {
  if (*warnings < kMaxLoadWarnings) DiagnoseFormat("warning: %s\n", message.c_str());
  ++*warnings;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n') continue;
    out.push_back(c == '\x01' ? '?' : c);
    if (out.size() >= 40) break;
  }
  return out;
}

void ReportSuppressed(int32_t warnings, const std::string& source) {
  if (warnings > kMaxLoadWarnings) {
    DiagnoseFormat("warning: %d more warnings for model file %s\n", warnings - kMaxLoadWarnings,
                   source.c_str());
  }
}

// Feature indices in the order of saving: outcomes by code-unit order of
// their texts, within one outcome the predicates likewise.
std::vector<int32_t> SaveOrder(const CMEModel::Impl& m) {
  std::vector<uint32_t> outcome_rank(static_cast<size_t>(m.outcomes.Size()));
  std::vector<uint32_t> predicate_rank(static_cast<size_t>(m.predicates.Size()));
  {
    const std::vector<int32_t> order = m.outcomes.SortedIndices();
    for (size_t r = 0; r < order.size(); ++r) outcome_rank[order[r]] = static_cast<uint32_t>(r);
  }
  {
    const std::vector<int32_t> order = m.predicates.SortedIndices();
    for (size_t r = 0; r < order.size(); ++r) {
      predicate_rank[order[r]] = static_cast<uint32_t>(r);
    }
  }
  std::vector<std::pair<uint64_t, int32_t>> keyed;
  keyed.reserve(m.feature_keys.size());
  for (size_t f = 0; f < m.feature_keys.size(); ++f) {
    const size_t outcome = static_cast<size_t>(KeyOutcome(m.feature_keys[f]));
    const size_t predicate = static_cast<size_t>(KeyPredicate(m.feature_keys[f]));
    if (outcome >= outcome_rank.size() || predicate >= predicate_rank.size()) continue;
    keyed.emplace_back(
        (static_cast<uint64_t>(outcome_rank[outcome]) << 32) | predicate_rank[predicate],
        static_cast<int32_t>(f));
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<int32_t> order;
  order.reserve(keyed.size());
  for (const auto& entry : keyed) order.push_back(entry.second);
  return order;
}

}  // namespace

void CMEModel::ScanLine(const char16_t* line, int32_t length, bool weight, LineFields* fields) {
  int32_t blank = 0;
  while (blank < length && IsBlankUnit(line[blank])) ++blank;
  fields->blank = blank == length;
  fields->first = fields->last = -1;
  fields->weight_scanned = false;
  fields->weight_read = false;
  fields->bad_unit = -1;
  if (fields->blank) return;
  for (int32_t i = 0; i < length; ++i) {
    const char16_t unit = line[i];
    if (unit == u'\t') {
      if (fields->first < 0) fields->first = i;
      fields->last = i;
    } else if ((unit == 0 || unit == u'\uFFFD') && fields->bad_unit < 0) {
      fields->bad_unit = i;
    }
  }
  if (fields->first < 0 || fields->first == fields->last) return;
  const int32_t first = fields->first, last = fields->last;
  fields->predicate_hash = CTextIndex::Hash(
      std::u16string_view(line + first + 1, static_cast<size_t>(last - first - 1)));
  if (!weight) return;
  fields->weight_scanned = true;
  fields->weight_read = ParseWeight(line + last + 1, length - last - 1, &fields->weight);
}

void CMEModel::ParseEntry(const char16_t* line, int32_t length, int64_t line_number,
                          const std::string& source, int32_t* warnings, std::string* error) {
  LineFields fields;
  ScanLine(line, length, true, &fields);
  AddEntry(line, length, fields, line_number, source, warnings, error);
}

void CMEModel::AddEntry(const char16_t* line, int32_t length, const LineFields& fields,
                        int64_t line_number, const std::string& source, int32_t* warnings,
                        std::string* error) {
  Impl& m = *impl_;
  if (fields.blank || !error->empty()) return;  // an empty line or a lone carriage return
  auto fail = [&](const std::string& reason) {
    *error = "model file " + source + ", line " + std::to_string(line_number) + ": " + reason;
  };
  if (fields.bad_unit >= 0) {
    fail(line[fields.bad_unit] == 0 ? "the line holds a NUL byte"
                                    : "the line holds bytes that are not valid GBK");
    return;
  }
  const int32_t first = fields.first, last = fields.last;
  if (line[length - 1] != u'\n') {
    // Every whole line ends with a line feed (a protected file's last line
    // with its zero padding): this one was cut, even if what is left reads.
    fail("the last line has no line feed (the file is cut short)");
    return;
  }
  if (first < 0 || first == last) {
    fail("the line does not hold outcome, predicate and weight separated by tabs");
    return;
  }
  double weight = fields.weight;
  bool weight_read = fields.weight_read;
  if (!fields.weight_scanned) {
    weight_read = ParseWeight(line + last + 1, length - last - 1, &weight);
  }
  if (!weight_read) {
    fail("weight '" + Printable(AsciiField(line + last + 1, length - last - 1)) +
         "' is not a finite number");
    return;
  }
  const std::u16string_view outcome_text(line, static_cast<size_t>(first));
  if (m.last_outcome < 0 || m.last_outcome >= m.outcomes.Size() ||
      m.outcomes.Text(m.last_outcome) != outcome_text) {
    m.last_outcome = m.outcomes.Insert(outcome_text);
    if (static_cast<size_t>(m.last_outcome) == m.outcome_lines.size()) {
      m.outcome_lines.push_back(line_number);
    }
  }
  const int32_t outcome = m.last_outcome;
  const int32_t predicate = m.predicates.Insert(
      std::u16string_view(line + first + 1, static_cast<size_t>(last - first - 1)),
      fields.predicate_hash);
  m.CheckCapacity(outcome, predicate);
  const int32_t key = FeatureKey(outcome, predicate);
  uint64_t& seen = m.SeenOutcomes(key);
  const uint64_t bit = uint64_t{1} << (KeyOutcome(key) & 63);
  if ((seen & bit) == 0) {
    seen |= bit;
    if (m.feature_index_valid) {
      bool inserted = false;
      m.feature_index.Insert(key, static_cast<int32_t>(m.feature_keys.size()), &inserted);
    }
    m.feature_keys.push_back(key);
    m.weights.push_back(weight);
    return;
  }
  // A repeated pair must not shift the weights of the lines after it.
  const int32_t feature = m.FeatureIndex().Find(key);
  m.weights[static_cast<size_t>(feature)] = weight;
  Warn(warnings, "line " + std::to_string(line_number) + " of model file " + source +
                     " repeats an outcome and predicate pair; its weight replaces the "
                     "earlier one");
}

void CMEModel::FinishLoad() {
  CLargeTable<uint64_t>().swap(impl_->seen_outcomes);
  CLargeTable<uint64_t>().swap(impl_->seen_high_outcomes);
  outcome_count_ = impl_->outcomes.Size();
  impl_->BuildRows(outcome_count_);
}

namespace {

// Lines of a model file, decoded and scanned: line i is
// units[starts[i] .. starts[i + 1]).
struct LineBatch {
  std::vector<char16_t> units;
  std::vector<size_t> starts{0};
  std::vector<CMEModel::LineFields> fields;

  const char16_t* Line(size_t i) const { return units.data() + starts[i]; }
  int32_t Length(size_t i) const { return static_cast<int32_t>(starts[i + 1] - starts[i]); }
  void Clear() {
    units.clear();
    starts.assign(1, 0);
    fields.clear();
  }
};

// Reads a model file in batches of lines on a thread of its own, from
// construction on and a few batches ahead of the caller, who gets them in
// file order. Without a thread the batches are read in turn. Owns the file.
class ModelLineReader {
 public:
  explicit ModelLineReader(std::FILE* file)
      : file_(file), small_block_(SmallBlock(file)), reader_(file, small_block_) {
    // A small file is read (in one block) faster than a thread starts.
    if (small_block_ > 0) return;
    try {
      thread_ = std::thread([this] { Produce(); });
    } catch (const std::system_error&) {
    }
  }
  ~ModelLineReader() {
    Stop();
    if (thread_.joinable()) thread_.join();
    std::fclose(file_);
  }
  ModelLineReader(const ModelLineReader&) = delete;
  ModelLineReader& operator=(const ModelLineReader&) = delete;

  std::FILE* File() const { return file_; }
  // After Read: whether reading the file failed.
  bool ReadFailed() const { return std::ferror(file_) != 0; }

  // Calls `use` with every batch, in file order, until the end of the file.
  template <class Use>
  void Read(Use use) {
    if (!thread_.joinable()) {
      LineBatch batch;
      while (Fill(batch, true)) use(batch);
      return;
    }
    struct Join {
      ModelLineReader* reader;
      ~Join() {
        reader->Stop();
        reader->thread_.join();
      }
    } join{this};
    for (;;) {
      LineBatch* batch = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || finished_; });
        if (full_.empty()) return;
        batch = full_.front();
        full_.pop_front();
      }
      use(*batch);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(batch);
      }
      changed_.notify_all();
    }
  }

 private:
  static constexpr size_t kLines = 4096;
  static constexpr int kBatches = 4;
  static constexpr size_t kSmallBlock = 64 * 1024;

  // For a regular file shorter than kSmallBlock, a block that holds it
  // whole; 0 for any other file.
  static size_t SmallBlock(std::FILE* file) {
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size >= static_cast<off_t>(kSmallBlock)) {
      return 0;
    }
    return static_cast<size_t>(status.st_size) + 1;
  }

  // The next lines into `batch`, their weights read unless `weights` is
  // false (the caller reads them then); false when the file had none left.
  bool Fill(LineBatch& batch, bool weights) {
    batch.Clear();
    const char16_t* units = nullptr;
    size_t length = 0;
    while (batch.fields.size() < kLines && reader_.NextLine(&units, &length)) {
      batch.units.insert(batch.units.end(), units, units + length);
      batch.starts.push_back(batch.units.size());
      batch.fields.emplace_back();
      CMEModel::ScanLine(units, static_cast<int32_t>(length), weights, &batch.fields.back());
    }
    return !batch.fields.empty();
  }

  void Produce() {
    int64_t filled = 0;
    for (;;) {
      LineBatch* batch = nullptr;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stopped_; });
        if (stopped_) break;
        batch = free_.back();
        free_.pop_back();
      }
      // Decoding takes longer than adding lines to the tables: the weights
      // of one batch in five are left to the caller, so that both threads
      // finish at about the same time.
      const bool more = Fill(*batch, ++filled % 5 != 0);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (more) {
          full_.push_back(batch);
        } else {
          free_.push_back(batch);
        }
      }
      changed_.notify_all();
      if (!more) break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

  std::FILE* file_;
  size_t small_block_;
  CLineReader reader_;
  std::thread thread_;
  LineBatch batches_[kBatches];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<LineBatch*> free_{&batches_[0], &batches_[1], &batches_[2], &batches_[3]};
  std::deque<LineBatch*> full_;
  bool finished_ = false;
  bool stopped_ = false;
};

void EmptyTables(CMEModel::Impl& m) {
  m.weights.clear();
  m.outcomes.Clear();
  m.outcome_lines.clear();
  m.last_outcome = -1;
  m.predicates.Clear();
  m.feature_index.Clear();
  m.feature_index_valid = false;
  m.seen_outcomes.clear();
  m.seen_high_outcomes.clear();
  m.feature_keys.clear();
  m.capacity_warned = false;
}

// Sizes the tables for a model file of the size of `file` (a regular file;
// lines of at least 12 bytes), so that they are not copied while they grow:
// the pages reserved beyond what the lines fill are never touched.
void ReserveForFile(CMEModel::Impl& m, std::FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
    return;
  }
  constexpr size_t kMaxHint = size_t{1} << 30;
  const size_t bytes = std::min(static_cast<size_t>(status.st_size), kMaxHint);
  const size_t lines = bytes / 12 + 1;
  m.feature_keys.reserve(lines);
  m.weights.reserve(lines);
  m.seen_outcomes.reserve(lines);
  m.predicates.Reserve(lines, bytes);
}

}  // namespace

struct CMEModelPrefetch::Reader {
  explicit Reader(std::FILE* file) : lines(file) {}
  ModelLineReader lines;
};

CMEModelPrefetch::CMEModelPrefetch(const std::string& path) : path_(path) {
  if (std::FILE* file = OpenFile(path, "r")) reader_ = std::make_unique<Reader>(file);
}

CMEModelPrefetch::~CMEModelPrefetch() = default;

bool CMEModel::Load(const std::string& path, bool protected_form) {
  return Load(path, protected_form, nullptr);
}

bool CMEModel::Load(const std::string& path, bool protected_form, CMEModelPrefetch* prefetch) {
  const std::string& narrow = path;
  EmptyTables(*impl_);
  FinishLoad();
  if (protected_form) {
    // The protected twin of a ".txt" path; a path without "txt" (such as
    // "model.des") names the protected file itself.
    const std::string opened =
        narrow.find("txt") == std::string::npos ? narrow : ProtectedPathFor(narrow);
    std::FILE* file = OpenFile(opened, "rb");
    if (file == nullptr) {
      const int reason = errno;
      DiagnoseFormat("error: cannot open %s !\nerror: %s: %s\n", narrow.c_str(), opened.c_str(),
                     std::strerror(reason));
      return false;
    }
    std::vector<unsigned char> bytes;
    const bool read = ReadProtectedFile(file, bytes);
    std::fclose(file);
    if (!read) {
      DiagnoseFormat("error: cannot read %s !\n", opened.c_str());
      return false;
    }
    const std::string damage = ProtectedTextProblem(bytes);
    if (!damage.empty()) {
      DiagnoseFormat("error: model file %s: %s\n", opened.c_str(), damage.c_str());
      return false;
    }
    return LoadDeciphered(bytes, opened);
  }
  // A second thread reads, decodes and scans the lines (ModelLineReader)
  // while this one adds them to the tables in file order.
  std::unique_ptr<CMEModelPrefetch::Reader> reader;
  if (prefetch != nullptr && prefetch->path_ == narrow) reader = std::move(prefetch->reader_);
  if (reader == nullptr) {
    std::FILE* file = OpenFile(narrow, "r");
    if (file == nullptr) {
      const int reason = errno;
      DiagnoseFormat("error: cannot open %s !\nerror: %s: %s\n", narrow.c_str(), narrow.c_str(),
                     std::strerror(reason));
      return false;
    }
    reader = std::make_unique<CMEModelPrefetch::Reader>(file);
  }
  ModelLineReader& lines = reader->lines;
  ReserveForFile(*impl_, lines.File());
  int64_t line_number = 0;
  int32_t warnings = 0;
  std::string error;
  lines.Read([&](const LineBatch& batch) {
    const size_t count = batch.fields.size();
    // The predicate slots of a group of lines are fetched before the first
    // look-up, so that their cache misses overlap.
    constexpr size_t kGroup = 32;
    for (size_t group = 0; group < count; group += kGroup) {
      const size_t end = std::min(count, group + kGroup);
      for (size_t i = group; i < end; ++i) {
        const CMEModel::LineFields& fields = batch.fields[i];
        if (fields.first >= 0 && fields.first < fields.last) {
          impl_->predicates.PrefetchHash(fields.predicate_hash);
        }
      }
      for (size_t i = group; i < end; ++i) {
        AddEntry(batch.Line(i), batch.Length(i), batch.fields[i], ++line_number, narrow, &warnings,
                 &error);
      }
    }
  });
  // A directory opens like a file and then fails to read.
  const bool read_failed = lines.ReadFailed();
  reader.reset();
  if (read_failed) {
    DiagnoseFormat("error: cannot read %s !\n", narrow.c_str());
    EmptyTables(*impl_);
    FinishLoad();
    return false;
  }
  ReportSuppressed(warnings, narrow);
  if (error.empty() && impl_->feature_keys.empty()) {
    error = "model file " + narrow + " holds no features";
  }
  if (!error.empty()) {
    DiagnoseFormat("error: %s\n", error.c_str());
    EmptyTables(*impl_);
    FinishLoad();
    return false;
  }
  FinishLoad();
  return true;
}

bool CMEModel::LoadDeciphered(const std::vector<unsigned char>& bytes, const std::string& source) {
  EmptyTables(*impl_);
  std::string error;
  std::vector<char16_t> units;
  size_t line_begin = 0;
  int64_t line_number = 1;
  int32_t warnings = 0;
  size_t i = 0;
  for (; i < bytes.size(); ++i) {
    const unsigned char byte = bytes[i];
    if (byte != '\n' && byte != 0) continue;
    const size_t line_length = i - line_begin;
    if (line_length > 0) {
      DecodeGbkInto(reinterpret_cast<const char*>(bytes.data() + line_begin), line_length, units);
      units.push_back(u'\n');  // the line is whole: ended by a line feed or the padding
      ParseEntry(units.data(), static_cast<int32_t>(units.size()), line_number, source, &warnings,
                 &error);
      // The zero bytes that pad a protected file end its text.
      if (byte == 0) {
        line_begin = bytes.size();
        break;
      }
    }
    if (byte == '\n') ++line_number;
    line_begin = i + 1;
  }
  if (line_begin < bytes.size()) {
    // A last line without a line feed or zero byte: the text fills its last
    // chunk (whether the file was cut short shows in its size, not here).
    DecodeGbkInto(reinterpret_cast<const char*>(bytes.data() + line_begin),
                  bytes.size() - line_begin, units);
    units.push_back(u'\n');
    ParseEntry(units.data(), static_cast<int32_t>(units.size()), line_number, source, &warnings,
               &error);
  }
  ReportSuppressed(warnings, source);
  if (error.empty() && impl_->feature_keys.empty())
    error = "model file " + source + " holds no features";
  if (!error.empty()) {
    DiagnoseFormat("error: %s\n", error.c_str());
    EmptyTables(*impl_);
    FinishLoad();
    return false;
  }
  FinishLoad();
  return true;
}

bool CMEModel::Save(const std::string& path) const {
  // Written under a temporary name: a model cut short by a full disk must
  // never stand where a complete one is expected.
  CTextFile* file = OpenTextFile(path.c_str(), "w");
  if (file == nullptr) {
    DiagnoseFormat("error: cannot open %s!\n", path.c_str());
    return false;
  }
  const Impl& m = *impl_;
  // Lines are assembled as "%S\t%S\t%f\n" would print them and written in
  // blocks.
  CFixedFormatter number;
  std::u16string block;
  for (int32_t f : SaveOrder(m)) {
    const double weight = m.weights[static_cast<size_t>(f)];
    if (weight == 0.0) continue;
    const int32_t key = m.feature_keys[static_cast<size_t>(f)];
    block.append(std::u16string_view(m.outcomes.CStr(KeyOutcome(key))));
    block.push_back(u'\t');
    block.append(std::u16string_view(m.predicates.CStr(KeyPredicate(key))));
    block.push_back(u'\t');
    number.Append(weight, block);
    block.push_back(u'\n');
    if (block.size() >= (1u << 16)) {
      WriteText(file, block.data(), static_cast<int32_t>(block.size()));
      block.clear();
    }
  }
  if (!block.empty()) WriteText(file, block.data(), static_cast<int32_t>(block.size()));
  std::string error;
  if (!CloseTextFile(file, &error)) {
    DiagnoseFormat("error: %s\n", error.c_str());
    return false;
  }
  return true;
}

bool CMEModel::LoadTable(const MEModelEntry* entries) {
  Impl& m = *impl_;
  // Every known feature restarts at 0 and takes the weight of its entry, so
  // that weight i always belongs to feature i.
  m.weights.assign(m.feature_keys.size(), 0.0);
  for (const MEModelEntry* e = entries; e != nullptr && e->outcome != nullptr; ++e) {
    if (UStrCaseCompare(e->outcome, u"///") == 0) break;
    const int32_t outcome = m.outcomes.Insert(
        std::u16string_view(e->outcome, static_cast<size_t>(UStrLen(e->outcome))));
    const char16_t* predicate_text = e->predicate != nullptr ? e->predicate : u"";
    const int32_t predicate = m.predicates.Insert(
        std::u16string_view(predicate_text, static_cast<size_t>(UStrLen(predicate_text))));
    m.CheckCapacity(outcome, predicate);
    bool inserted = false;
    const int32_t key = FeatureKey(outcome, predicate);
    const int32_t feature =
        m.FeatureIndex().Insert(key, static_cast<int32_t>(m.feature_keys.size()), &inserted);
    if (inserted) {
      m.feature_keys.push_back(key);
      m.weights.push_back(e->weight);
    } else {
      m.weights[static_cast<size_t>(feature)] = e->weight;
    }
  }
  FinishLoad();
  return true;
}

void CMEModel::ExportEntries(
    std::vector<std::pair<std::pair<CUString, CUString>, double>>& out) const {
  out.clear();
  const Impl& m = *impl_;
  for (int32_t f : SaveOrder(m)) {
    const int32_t key = m.feature_keys[static_cast<size_t>(f)];
    const std::u16string_view outcome = m.outcomes.Text(KeyOutcome(key));
    const std::u16string_view predicate = m.predicates.Text(KeyPredicate(key));
    out.emplace_back(
        std::make_pair(CUString(outcome.data(), static_cast<int32_t>(outcome.size())),
                       CUString(predicate.data(), static_cast<int32_t>(predicate.size()))),
        m.weights[static_cast<size_t>(f)]);
  }
}

}  // namespace verrin
