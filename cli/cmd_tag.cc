// verrin tag / verrin tagfile
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/input_lines.h"
#include "cli/line_pipeline.h"
#include "cli/progress.h"
#include "engine/clause_reader.h"
#include "engine/ne_engine.h"
#include "eval/record_bio.h"
#include "text/char_class.h"
#include "text/code_page.h"
#include "text/file_system.h"
#include "text/json_escape.h"
#include "text/output_file.h"
#include "text/spill_buffer.h"
#include "text/text_line_reader.h"
#include "verrin/verrin.h"
#include "verrin/word_alignment.h"

namespace verrin::cli {
namespace {

const char kTagUsage[] =
    "Usage: verrin tag [options] [FILE]\n"
    "\n"
    "Tags each line of FILE (or standard input) and prints one result per line.\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory (default: the bundled resources)\n"
    "  --model PATH       model file (default: DIR/model.txt when it exists)\n"
    "  --protected        read the protected (.des) forms of every file\n"
    "                     (a fixed key built into verrin: not encryption)\n"
    "  --option 0|1|2     0 raw text (default), 1 words separated by '/',\n"
    "                     2 words separated by spaces\n"
    "  --format FORMAT    text (default): the bracketed sentence, e.g.\n"
    "                       [P 江泽民] 在 [L 北京] 会见 ...\n"
    "                     json: {\"records\": [[offset, length, word, type, tag], ...],\n"
    "                       \"rendered\": \"...\"} per line (UTF-8); offset and length\n"
    "                       count UTF-16 units of the words alone\n"
    "                     entities: {\"entities\": [{\"start\": S, \"end\": E, \"label\":\n"
    "                       \"P\", \"text\": \"...\"}, ...]} per line (UTF-8): the\n"
    "                       persons (P), locations (L) and organizations (O), with\n"
    "                       [S, E) their place in the input line in code points\n"
    "                     bio: one character and its BIO tag (PER, LOC, ORG) per\n"
    "                       line, a blank line after each input line\n"
    "  --encoding ENC     utf-8 (default) or gbk, for input and text output\n"
    "  --threads N        tag with N threads (default: one per core); the output\n"
    "                     is the same for every N and keeps the input order\n"
    "\n"
    "Lines are answered as they come: the command works as a filter on a pipe\n"
    "(each line's result is written and flushed once no further result is\n"
    "waiting), holding at most a few hundred lines in memory. With FILE, progress\n"
    "goes to standard error.\n";

const char kTagFileUsage[] =
    "Usage: verrin tagfile [options] IN OUT\n"
    "\n"
    "Tags the text file IN line by line into the file OUT: one line of bracketed\n"
    "clauses per non-empty input line. Progress goes to standard error.\n"
    "\n"
    "Options:\n"
    "  --res DIR          resource directory (default: the bundled resources)\n"
    "  --model PATH       model file (default: DIR/model.txt when it exists)\n"
    "  --protected        read the protected (.des) forms of every file\n"
    "                     (a fixed key built into verrin: not encryption)\n"
    "  --option 0|1|2     word separator option of the input (default 0, raw)\n"
    "  --encoding ENC     gbk (default) or utf-8, for IN and OUT\n"
    "  --threads N        tag with N threads (default: one per core); OUT is the\n"
    "                     same for every N\n";

// The JSON lines write U+0008 and U+000C as \u0008 and \u000c.
constexpr JsonControlEscapes kControlEscapes = JsonControlEscapes::kUnicode;

void AppendJsonString(std::string& out, const std::string& utf8) {
  out.push_back('"');
  AppendJsonEscaped(out, utf8, kControlEscapes);
  out.push_back('"');
}

// Where the lines come from and how big that input is (0: unknown).
struct Input {
  std::FILE* file = stdin;
  std::string name = "standard input";
  int64_t size = 0;
  ~Input() {
    if (file != nullptr && file != stdin) std::fclose(file);
  }
  bool Open(const std::string& path) {
    if (path == "-") return true;
    if (IsDirectory(path)) {
      errno = EISDIR;
      return false;
    }
    file = OpenFile(path, "rb");
    if (file == nullptr) return false;
    name = path;
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) size = st.st_size;
    return true;
  }
};

// One piece of an input line (the whole line unless it is very long; a
// piece ends at a clause boundary) and, once tagged, its output.
struct LineJob {
  CUString text;                   // the piece as CTextLineReader decoded it
  int64_t line = 0;                // the number of its line
  int64_t consumed = 0;            // input bytes read up to its end
  int64_t shift = 0;               // code points of the line before the piece
  bool line_end = false;           // the last piece of its line
  std::string problem;             // at the line end: what the reader found odd about the line
  bool damaged = false;            // at the line end: bytes invalid in the encoding
  int failed = 0;                  // clauses that could not be tagged (set by the worker)
  std::string out;                 // the piece's output (text, bio, rendered text of json)
  bool blank = false;              // tagfile: the piece is empty (a blank line)
  int64_t units = 0;               // json: word units of the piece's records
  std::vector<int32_t> offsets;    // json: record offsets within the piece
  std::vector<std::string> items;  // json: records after their offsets; entities: objects
};

// One output format: what a worker makes of the records of a piece, and how
// the writer puts the pieces of a line together, in input order.
class CLineWriter {
 public:
  virtual ~CLineWriter() = default;
  // How the reader trims lines: tag keeps every unit, so that entity offsets
  // count the line as it is.
  virtual CClauseReader::Trim LineTrim() const { return CClauseReader::Trim::kLineEnd; }
  // On a worker: fills the job's output fields from the records of its piece.
  virtual void Render(CKyVerrin& /*tagger*/, const tag_WordInfoW* /*records*/, int /*count*/,
                      LineJob& /*job*/) const {}
  // The piece's part of its line into `out` (empty before); a writer may also
  // write to `output` itself. False on a write error.
  virtual bool Piece(LineJob& job, std::string& out, COutputFile& output) = 0;
  // The end of the line after its last piece, into `out`.
  virtual bool EndLine(std::string& out, COutputFile& output) = 0;
  // Why the output could not be made, or "".
  virtual std::string Error() const { return std::string(); }
};

// The rendered sentence of the records, as OutputTaggedSentence writes it.
CUString Rendered(CKyVerrin& tagger, const tag_WordInfoW* records, int count) {
  CUString rendered(CKyVerrin::RenderedLength(records, count));
  tagger.OutputTaggedSentence(records, count, rendered.MutableBuffer());
  rendered.Assign(CUString(rendered.c_str()));
  return rendered;
}

// Formats whose pieces are written as they come, a line feed after a line.
class CPlainWriter : public CLineWriter {
 public:
  bool Piece(LineJob& job, std::string& out, COutputFile& /*output*/) override {
    out = std::move(job.out);
    return true;
  }
  bool EndLine(std::string& out, COutputFile& /*output*/) override {
    out += "\n";
    return true;
  }
};

// text: the bracketed sentence, e.g. "[P 江泽民] 在 [L 北京] 会见 ".
class CTextWriter : public CPlainWriter {
 public:
  explicit CTextWriter(bool gbk) : gbk_(gbk) {}
  void Render(CKyVerrin& tagger, const tag_WordInfoW* records, int count,
              LineJob& job) const override {
    const CUString rendered = Rendered(tagger, records, count);
    job.out = gbk_ ? ToGbk(rendered) : ToUtf8(rendered);
  }

 private:
  bool gbk_;
};

// bio: one character per line with its BIO tag; entities are records of type 3.
class CBioWriter : public CPlainWriter {
 public:
  void Render(CKyVerrin& /*tagger*/, const tag_WordInfoW* records, int count,
              LineJob& job) const override {
    const std::vector<std::string> tags = UnitTags(records, count);
    job.out.clear();
    size_t unit = 0;
    for (int i = 0; i < count; ++i) {
      for (const char16_t* p = records[i].pWord; p != nullptr && *p != 0; ++p, ++unit) {
        job.out += ToUtf8(p, 1) + " " + tags[unit] + "\n";
      }
    }
  }
};

// tagfile: the bracketed clauses of the engine; blank lines leave no line.
class CTagFileWriter : public CLineWriter {
 public:
  CClauseReader::Trim LineTrim() const override { return CClauseReader::Trim::kWhiteSpace; }
  bool Piece(LineJob& job, std::string& out, COutputFile& /*output*/) override {
    if (!job.blank) line_open_ = true;
    out = std::move(job.out);
    return true;
  }
  bool EndLine(std::string& out, COutputFile& /*output*/) override {
    if (line_open_) out += "\n";
    line_open_ = false;
    return true;
  }

 private:
  bool line_open_ = false;  // some output of the line was written
};

// json: {"records": [[offset, length, word, type, tag], ...], "rendered": "..."}.
class CJsonWriter : public CLineWriter {
 public:
  // The records of the piece as JSON arrays without their offsets (each item
  // is the array after "[offset"): offsets count from the start of the line,
  // which only the writer knows.
  void Render(CKyVerrin& tagger, const tag_WordInfoW* records, int count,
              LineJob& job) const override {
    job.offsets.clear();
    job.items.clear();
    job.units = 0;
    for (int i = 0; i < count; ++i) {
      const tag_WordInfoW& r = records[i];
      std::string item = ", " + std::to_string(r.cLength) + ", ";
      AppendJsonString(item, ToUtf8(r.pWord != nullptr ? r.pWord : u""));
      item += ", " + std::to_string(r.cWordType) + ", ";
      if (r.pTag != nullptr) {
        AppendJsonString(item, ToUtf8(r.pTag));
      } else {
        item += "null";
      }
      item += "]";
      job.offsets.push_back(r.nOffset);
      job.items.push_back(std::move(item));
      job.units += r.cLength;
    }
    job.out = ToUtf8(Rendered(tagger, records, count));
  }
  bool Piece(LineJob& job, std::string& out, COutputFile& /*output*/) override {
    if (!line_open_) out = "{\"records\": [";
    for (size_t i = 0; i < job.items.size(); ++i) {
      if (line_items_) out += ", ";
      line_items_ = true;
      out += "[" + std::to_string(line_units_ + job.offsets[i]) + job.items[i];
    }
    line_units_ += job.units;
    line_open_ = true;
    escaped_.clear();
    AppendJsonEscaped(escaped_, job.out, kControlEscapes);
    return rendered_.Append(escaped_);
  }
  bool EndLine(std::string& out, COutputFile& output) override {
    out += "], \"rendered\": \"";
    if (!output.Write(out) || !rendered_.MoveTo(output)) return false;
    out = "\"}\n";
    line_open_ = line_items_ = false;
    line_units_ = 0;
    return true;
  }
  std::string Error() const override {
    if (rendered_.Error().empty()) return std::string();
    return "cannot hold a line's rendered text in a " + rendered_.Error();
  }

 private:
  bool line_open_ = false;   // some output of the line was written
  bool line_items_ = false;  // a record of the line was written
  int64_t line_units_ = 0;   // word units of the line's earlier pieces
  // The line's rendered text so far, escaped; held in a temporary file past
  // a size, so that a line of any length takes bounded memory.
  CSpillBuffer rendered_;
  std::string escaped_;
};

// entities: {"entities": [{"start": S, "end": E, "label": "P", "text": "..."}, ...]},
// [S, E) in code points of the input line.
class CEntityWriter : public CLineWriter {
 public:
  void Render(CKyVerrin& /*tagger*/, const tag_WordInfoW* records, int count,
              LineJob& job) const override {
    job.items.clear();
    const std::vector<CAlignedEntity> entities = AlignedEntities(
        AlignWords(job.text.c_str(), static_cast<size_t>(job.text.Length()), records, count));
    for (const CAlignedEntity& e : entities) {
      // `shift`: the code points of the line before the piece.
      std::string item = "{\"start\": " + std::to_string(job.shift + e.start) +
                         ", \"end\": " + std::to_string(job.shift + e.end) + ", \"label\": ";
      AppendJsonString(item, ToUtf8(e.label.data(), static_cast<int32_t>(e.label.size())));
      item += ", \"text\": ";
      AppendJsonString(item, ToUtf8(e.text.data(), static_cast<int32_t>(e.text.size())));
      item += "}";
      job.items.push_back(std::move(item));
    }
  }
  bool Piece(LineJob& job, std::string& out, COutputFile& /*output*/) override {
    if (!line_open_) out = "{\"entities\": [";
    for (const std::string& item : job.items) {
      if (line_items_) out += ", ";
      line_items_ = true;
      out += item;
    }
    line_open_ = true;
    return true;
  }
  bool EndLine(std::string& out, COutputFile& /*output*/) override {
    out += "]}\n";
    line_open_ = line_items_ = false;
    return true;
  }

 private:
  bool line_open_ = false;   // some output of the line was written
  bool line_items_ = false;  // an entity of the line was written
};

// Counts the lines that were odd or not wholly tagged and reports them on
// standard error, in input order, one message a line.
class CLineReport {
 public:
  CLineReport(const char* command, const std::string& input) : command_(command), input_(input) {}

  void Add(const LineJob& job) {
    line_failed_ += job.failed;
    if (!job.line_end) return;
    if (!job.problem.empty() && ++odd_lines_ <= InputLines::kMaxReported) {
      std::fprintf(stderr, "verrin %s: %s:%lld: %s\n", command_, input_.c_str(),
                   static_cast<long long>(job.line), job.problem.c_str());
    }
    if (job.damaged) ++damaged_lines_;
    if (line_failed_ > 0) {
      ++failed_lines_;
      std::fprintf(stderr, "verrin %s: %s:%lld: %d %s could not be tagged and %s missing\n",
                   command_, input_.c_str(), static_cast<long long>(job.line), line_failed_,
                   line_failed_ == 1 ? "clause" : "clauses", line_failed_ == 1 ? "is" : "are");
    }
    line_failed_ = 0;
  }
  // The count of odd lines beyond those shown.
  void Finish() const {
    if (odd_lines_ > InputLines::kMaxReported) {
      std::fprintf(stderr, "verrin %s: %s: %lld more lines with odd bytes not shown\n", command_,
                   input_.c_str(), static_cast<long long>(odd_lines_ - InputLines::kMaxReported));
    }
  }
  int Status() const { return TaggingStatus(command_, failed_lines_, damaged_lines_); }

 private:
  const char* command_;
  const std::string& input_;
  int line_failed_ = 0;  // clauses of the current line that could not be tagged
  int64_t failed_lines_ = 0, damaged_lines_ = 0, odd_lines_ = 0;
};

// What RunLines reads and how.
struct LineSource {
  const char* command;
  Input* input;
  CTextEncoding encoding;
  bool segmented;
  int threads;
};

// Makes the function that tags one piece on worker `index`.
using WorkerFactory = std::function<std::function<void(LineJob&)>(int index)>;

// Runs the read-tag-write loop of tag and tagfile over `source.threads`
// workers. A line is read and tagged in pieces cut at clause boundaries, so
// that a line of any length takes bounded memory; `writer` makes the output
// of the whole line. Shows progress when the input is a file of known size.
// Returns the exit status.
int RunLines(const LineSource& source, CLineWriter& writer, COutputFile& output,
             const WorkerFactory& make_worker) {
  const char* command = source.command;
  Input& input = *source.input;
  std::unique_ptr<CProgress> progress;
  if (input.size > 0) {
    progress = std::make_unique<CProgress>(std::string(command) + " " + input.name, input.size,
                                           CProgress::Unit::kBytes);
  }
  CTextLineReader reader(input.file, source.encoding);
  CClauseReader pieces(reader, source.segmented, writer.LineTrim());
  int64_t shift = 0;  // code points of the current line read so far
  PipelineSteps<LineJob, LineJob> steps;
  steps.read = [&](LineJob& job) {
    if (!pieces.Next(job.text, job.line_end)) return false;
    job.line = reader.LineNumber();
    job.consumed = reader.BytesConsumed();
    job.shift = shift;
    if (job.line_end) {
      job.problem = reader.Problem();
      job.damaged = reader.LineDamaged();
      shift = 0;
    } else {
      for (int32_t i = 0; i < job.text.Length(); ++i) {
        const char16_t unit = job.text[i];
        if (unit < 0xDC00 || unit > 0xDFFF) ++shift;  // a trail surrogate adds no code point
      }
    }
    return true;
  };
  steps.make_worker = [&](int index) {
    std::function<void(LineJob&)> work = make_worker(index);
    return [work](LineJob& in, LineJob& out) {
      work(in);
      out = std::move(in);
    };
  };
  CLineReport report(command, input.name);
  steps.write = [&](LineJob& job, bool more_ready) {
    std::string out;
    if (!writer.Piece(job, out, output)) return false;
    if (job.line_end && !writer.EndLine(out, output)) return false;
    report.Add(job);
    if (!output.Write(out)) return false;
    // Flushing whenever no further piece is waiting answers a line from a
    // pipe at once and still writes in large blocks under load.
    if (!more_ready && std::fflush(output.Stream()) != 0) return false;
    if (progress) progress->Update(job.consumed);
    return true;
  };
  RunPipeline(steps, source.threads);
  if (progress) progress->Finish();
  report.Finish();
  const std::string error = writer.Error();
  if (!error.empty()) {
    output.Abandon();
    return Fail(command, error);
  }
  if (reader.ReadFailed()) {
    output.Abandon();
    return Fail(command, "error reading " + input.name + ": " + std::strerror(reader.Errno()));
  }
  if (!output.Commit()) return Fail(command, output.Error());
  return report.Status();
}

int RunTag(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "0", format = "text", encoding = "utf-8", threads_text = "0";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  parser.AddOption("format", &format);
  parser.AddOption("encoding", &encoding);
  parser.AddOption("threads", &threads_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("tag", error);
  int option = 0;
  if (!ParseIntArg(option_text, &option) || option < 0 || option > 2) {
    return UsageError("tag", "--option must be 0, 1 or 2");
  }
  if (encoding != "utf-8" && encoding != "utf8" && encoding != "gbk") {
    return UsageError("tag", "--encoding must be utf-8 or gbk");
  }
  const bool gbk = encoding == "gbk";
  std::unique_ptr<CLineWriter> writer;
  if (format == "text") writer = std::make_unique<CTextWriter>(gbk);
  if (format == "json") writer = std::make_unique<CJsonWriter>();
  if (format == "entities") writer = std::make_unique<CEntityWriter>();
  if (format == "bio") writer = std::make_unique<CBioWriter>();
  if (!writer) return UsageError("tag", "--format must be text, json, bio or entities");
  int threads = 1;
  if (!ParseThreadCount(threads_text, &threads)) {
    return UsageError("tag", "--threads needs a whole number from 1 to 1024 (0: one per core)");
  }
  if (parser.Positional().size() > 1) return UsageError("tag", "too many arguments");

  Input input;
  if (!parser.Positional().empty() && !input.Open(parser.Positional()[0])) {
    if (errno == EISDIR) return Fail("tag", parser.Positional()[0] + " is a directory, not a file");
    return Fail("tag", "cannot open " + parser.Positional()[0] + ": " + std::strerror(errno));
  }
  CNEResourceManager manager;
  if (!LoadManager("tag", resources, manager)) return kExitFailure;
  std::vector<std::unique_ptr<CKyVerrin>> taggers;
  for (int t = 0; t < threads; ++t) taggers.push_back(std::make_unique<CKyVerrin>(&manager));
  COutputFile output;
  output.Open("-");
  const LineSource source{"tag", &input, gbk ? CTextEncoding::kGbk : CTextEncoding::kUtf8,
                          option != 0, threads};
  const CLineWriter* format_writer = writer.get();
  return RunLines(source, *writer, output, [&](int index) {
    CKyVerrin* tagger = taggers[static_cast<size_t>(index)].get();
    return [tagger, option, format_writer](LineJob& job) {
      tag_WordInfoW* records = nullptr;
      int count = 0;
      tagger->KyTagNEInfo(job.text.c_str(), option, records, count);
      job.failed = tagger->UntaggedClauses();
      format_writer->Render(*tagger, records, count, job);
      tagger->FreeWordSegResult(records, count);
      job.text = CUString();  // not needed any more: the window holds less
    };
  });
}

int RunTagFile(int argc, char** argv) {
  ResourceOptions resources;
  std::string option_text = "0", encoding = "gbk", threads_text = "0";
  ArgParser parser;
  resources.AddTo(parser);
  parser.AddOption("option", &option_text);
  parser.AddOption("encoding", &encoding);
  parser.AddOption("threads", &threads_text);
  std::string error;
  if (!parser.Parse(argc, argv, &error)) return UsageError("tagfile", error);
  int option = 0;
  if (!ParseIntArg(option_text, &option) || option < 0 || option > 2) {
    return UsageError("tagfile", "--option must be 0, 1 or 2");
  }
  if (encoding != "utf-8" && encoding != "utf8" && encoding != "gbk") {
    return UsageError("tagfile", "--encoding must be gbk or utf-8");
  }
  const bool gbk = encoding == "gbk";
  int threads = 1;
  if (!ParseThreadCount(threads_text, &threads)) {
    return UsageError("tagfile", "--threads needs a whole number from 1 to 1024 (0: one per core)");
  }
  if (parser.Positional().size() != 2) return UsageError("tagfile", "expected IN and OUT");
  const std::string& in_path = parser.Positional()[0];
  const std::string& out_path = parser.Positional()[1];
  Input input;
  if (in_path == "-" || !input.Open(in_path)) {
    if (errno == EISDIR) return Fail("tagfile", in_path + " is a directory, not a file");
    return Fail("tagfile", "cannot open " + in_path + ": " + std::strerror(errno));
  }
  if (IsDirectory(out_path)) return Fail("tagfile", out_path + " is a directory, not a file");
  CNEResourceManager manager;
  if (!LoadManager("tagfile", resources, manager)) return kExitFailure;
  // Written under a temporary name: OUT appears only when it is complete.
  COutputFile out;
  if (!out.Open(out_path)) return Fail("tagfile", out.Error());
  std::vector<std::unique_ptr<CNEEngine>> engines;
  bool segmented = false;
  for (int t = 0; t < threads; ++t) {
    engines.push_back(std::make_unique<CNEEngine>(manager.Resource()));
    segmented = engines.back()->SetWordSeparatorOption(option);
  }
  const LineSource source{"tagfile", &input, gbk ? CTextEncoding::kGbk : CTextEncoding::kUtf8,
                          segmented, threads};
  CTagFileWriter writer;
  return RunLines(source, writer, out, [&](int index) {
    CNEEngine* engine = engines[static_cast<size_t>(index)].get();
    return [engine, segmented, gbk](LineJob& job) {
      job.out.clear();
      job.blank = job.text.Empty();
      if (job.blank) return;
      CUString tagged;
      const int32_t failed_before = engine->FailedClauses();
      engine->TagLine(job.text, segmented, tagged);
      job.failed = engine->FailedClauses() - failed_before;
      job.out = gbk ? ToGbk(tagged) : ToUtf8(tagged);
      job.text = CUString();
    };
  });
}

}  // namespace

VERRIN_COMMAND(tag, "tag", "tag text lines (UTF-8 or GBK) and print bracketed text, JSON or BIO",
               kTagUsage, RunTag);
VERRIN_COMMAND(tagfile, "tagfile", "tag a text file (GBK or UTF-8) into a file of bracketed text",
               kTagFileUsage, RunTagFile);

}  // namespace verrin::cli
