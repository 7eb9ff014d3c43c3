#include "corpus/corpus_converter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "corpus/cluener_reader.h"
#include "corpus/corpus_conversion.h"
#include "text/code_page.h"
#include "text/file_system.h"
#include "text/output_file.h"

namespace verrin {
namespace {

bool CheckOptions(const ConverterOptions& options, std::string* error) {
  if (options.format == CorpusFormat::kCluener && !CluenerSupported()) {
    *error = "this build cannot read CLUENER files: it was built without nlohmann-json";
    return false;
  }
  if (options.output == CorpusOutput::kBio && !IsCharacterFormat(options.format)) {
    *error = "only the bio, weibo and cluener formats can be written as BIO";
    return false;
  }
  if (IsCharacterFormat(options.format) && options.output == CorpusOutput::kCorpus &&
      !options.cutter) {
    *error =
        "the bio, weibo and cluener formats need a dictionary to cut the text between "
        "entities";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCorpusFormat(const std::string& name, CorpusFormat* format) {
  if (name == "pd98") {
    *format = CorpusFormat::kPd98;
  } else if (name == "msra") {
    *format = CorpusFormat::kMsra;
  } else if (name == "bio") {
    *format = CorpusFormat::kBio;
  } else if (name == "weibo") {
    *format = CorpusFormat::kWeibo;
  } else if (name == "cluener") {
    *format = CorpusFormat::kCluener;
  } else {
    return false;
  }
  return true;
}

bool IsCharacterFormat(CorpusFormat format) {
  return format == CorpusFormat::kBio || format == CorpusFormat::kWeibo ||
         format == CorpusFormat::kCluener;
}

bool ConvertCorpusText(const std::string& input, std::string* output,
                       const ConverterOptions& options, ConversionStats* stats,
                       std::string* error) {
  *stats = ConversionStats();
  output->clear();
  if (!CheckOptions(options, error)) return false;
  CConversion conversion(options, stats, [output](const std::string& bytes) {
    output->append(bytes);
    return true;
  });
  auto each_line = [&input](const std::function<void(std::string)>& use) {
    size_t start = 0;
    while (start < input.size()) {
      size_t end = input.find('\n', start);
      end = end == std::string::npos ? input.size() : end + 1;
      use(input.substr(start, end - start));
      start = end;
    }
  };
  if (options.cut_names_in_words) {
    each_line([&conversion](std::string line) { conversion.Survey(std::move(line)); });
    conversion.EndSurvey();
  }
  each_line([&conversion](std::string line) { conversion.Feed(std::move(line)); });
  conversion.Finish();
  return true;
}

bool ConvertCorpus(const std::string& in_path, const std::string& out_path,
                   const ConverterOptions& options, ConversionStats* stats, std::string* error) {
  *stats = ConversionStats();
  if (!CheckOptions(options, error)) return false;
  std::FILE* in = OpenFile(in_path, "rb");
  if (in == nullptr) {
    *error = "cannot open " + in_path + ": " + std::strerror(errno);
    return false;
  }
  COutputFile out;
  if (!out.Open(out_path)) {
    *error = out.Error();
    std::fclose(in);
    return false;
  }
  CConversion conversion(options, stats,
                         [&out](const std::string& bytes) { return out.Write(bytes); });
  bool written = true;
  std::string line;
  if (options.cut_names_in_words) {
    while (ReadRawLine(in, line)) conversion.Survey(line);
    conversion.EndSurvey();
    if (std::ferror(in) == 0 && std::fseek(in, 0, SEEK_SET) != 0) {
      *error = "cannot read " + in_path + " a second time";
      std::fclose(in);
      return false;
    }
  }
  while (written && std::ferror(in) == 0 && ReadRawLine(in, line)) {
    written = conversion.Feed(line);
  }
  if (written) written = conversion.Finish();
  const bool read_failed = std::ferror(in) != 0;
  std::fclose(in);
  if (read_failed) {
    *error = "reading " + in_path + " failed";
    return false;
  }
  if (!written || !out.Commit()) {
    *error = out.Error().empty() ? "writing " + out_path + " failed" : out.Error();
    return false;
  }
  return true;
}

}  // namespace verrin
