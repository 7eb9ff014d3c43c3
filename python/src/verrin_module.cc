// The Python extension `verrin._verrin`: CKyVerrin and CNEResourceManager behind a
// Python-shaped API (see python/verrin/__init__.pyi for the contracts).
//
// Text crosses the boundary as Python str. Offsets handed back index that str
// in code points, so a character outside the BMP counts once even though it is
// two UTF-16 units for the library.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <structmember.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "adapting.h"
#include "resource_loading.h"
#include "verrin/verrin.h"
#include "verrin/word_alignment.h"

namespace py = pybind11;

namespace {

using verrin_python::g_loading;
using verrin_python::LoadResourceSet;

// ---------------------------------------------------------------------------
// Text conversion

// One line of input as the library sees it, with the way back to the str.
struct Line {
  std::u16string units;        // no line feed, NUL replaced (see ToLines)
  std::vector<int32_t> cp_at;  // cp_at[u]: code point index of unit u; size units+1
};

// Splits `text` at line feeds into UTF-16 lines. Raises ValueError for
// surrogate code points, which have no UTF-16 form of their own.
std::vector<Line> ToLines(const py::str& text) {
  PyObject* obj = text.ptr();
  if (PyUnicode_READY(obj) != 0) throw py::error_already_set();
  const int kind = PyUnicode_KIND(obj);
  const void* data = PyUnicode_DATA(obj);
  const Py_ssize_t length = PyUnicode_GET_LENGTH(obj);
  std::vector<Line> lines(1);
  lines.back().units.reserve(static_cast<size_t>(length));
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 cp = PyUnicode_READ(kind, data, i);
    Line& line = lines.back();
    if (cp == '\n') {
      line.cp_at.push_back(static_cast<int32_t>(i));
      lines.emplace_back();
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      char message[160];
      std::snprintf(message, sizeof message,
                    "text holds the surrogate code point U+%04X at index %zd; only "
                    "characters can be tagged (decode the input with errors='replace')",
                    static_cast<unsigned>(cp), static_cast<ssize_t>(i));
      throw py::value_error(message);
    }
    line.cp_at.push_back(static_cast<int32_t>(i));
    if (cp >= 0x10000) {
      line.cp_at.push_back(static_cast<int32_t>(i) + 1);  // low half: ends the character
      line.units.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      line.units.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      // The library reads NUL-terminated text: a NUL would end the line there
      // and lose the rest, so it is passed as a space, which no word holds.
      line.units.push_back(cp == 0 ? u' ' : static_cast<char16_t>(cp));
    }
  }
  lines.back().cp_at.push_back(static_cast<int32_t>(length));
  return lines;
}

py::str FromUnits(const char16_t* units, size_t n) {
  // Words hold no surrogates but for the rare character outside the BMP:
  // those go through the UTF-16 codec, the rest is copied as it is.
  if (std::none_of(units, units + n, [](char16_t u) { return u >= 0xD800 && u <= 0xDFFF; })) {
    PyObject* s =
        PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, units, static_cast<Py_ssize_t>(n));
    if (s == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
  }
  int byteorder = -1;  // little-endian, as char16_t is on every supported target
  PyObject* s = PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(units),
                                      static_cast<Py_ssize_t>(n * 2), "surrogatepass", &byteorder);
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

// ---------------------------------------------------------------------------
// Results

// One word placed in the str it came from: a small type of the C API, since a
// tagging call makes one per word and a pybind11 instance costs several times
// as much as the tagging of a short word.
struct WordObject {
  PyObject_HEAD PyObject* text;  // str
  PyObject* tag;                 // str, or None for plain words
  Py_ssize_t start;
  Py_ssize_t end;
  int type;
};

PyTypeObject* g_word_type = nullptr;

// A new Word; takes its own references to `text` and `tag`.
PyObject* NewWord(PyObject* text, Py_ssize_t start, Py_ssize_t end, int type, PyObject* tag) {
  WordObject* w = PyObject_New(WordObject, g_word_type);
  if (w == nullptr) return nullptr;
  Py_INCREF(text);
  Py_INCREF(tag);
  w->text = text;
  w->tag = tag;
  w->start = start;
  w->end = end;
  w->type = type;
  return reinterpret_cast<PyObject*>(w);
}

void WordDealloc(PyObject* self) {
  WordObject* w = reinterpret_cast<WordObject*>(self);
  PyTypeObject* type = Py_TYPE(self);
  Py_XDECREF(w->text);
  Py_XDECREF(w->tag);
  PyObject_Free(self);
  Py_DECREF(type);  // instances of a heap type hold a reference to it
}

PyObject* WordNew(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"text", "start", "end", "type", "tag", nullptr};
  PyObject* text = nullptr;
  PyObject* tag = Py_None;
  Py_ssize_t start = 0, end = 0;
  int type = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "Unn|iO:Word", const_cast<char**>(keywords), &text,
                                   &start, &end, &type, &tag)) {
    return nullptr;
  }
  return NewWord(text, start, end, type, tag);
}

PyObject* WordRepr(PyObject* self) {
  const WordObject* w = reinterpret_cast<WordObject*>(self);
  return PyUnicode_FromFormat("Word(text=%R, start=%zd, end=%zd, type=%d, tag=%R)", w->text,
                              w->start, w->end, w->type, w->tag);
}

PyObject* WordRichCompare(PyObject* a, PyObject* b, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(b, g_word_type)) Py_RETURN_NOTIMPLEMENTED;
  const WordObject* x = reinterpret_cast<WordObject*>(a);
  const WordObject* y = reinterpret_cast<WordObject*>(b);
  int equal = x->start == y->start && x->end == y->end && x->type == y->type;
  if (equal) equal = PyObject_RichCompareBool(x->text, y->text, Py_EQ);
  if (equal == 1) equal = PyObject_RichCompareBool(x->tag, y->tag, Py_EQ);
  if (equal < 0) return nullptr;
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

PyObject* WordFields(const WordObject* w) {
  return Py_BuildValue("(OnniO)", w->text, w->start, w->end, w->type, w->tag);
}

Py_hash_t WordHash(PyObject* self) {
  PyObject* fields = WordFields(reinterpret_cast<WordObject*>(self));
  if (fields == nullptr) return -1;
  const Py_hash_t hash = PyObject_Hash(fields);
  Py_DECREF(fields);
  return hash;
}

PyObject* WordReduce(PyObject* self, PyObject*) {
  PyObject* fields = WordFields(reinterpret_cast<WordObject*>(self));
  if (fields == nullptr) return nullptr;
  return Py_BuildValue("(ON)", reinterpret_cast<PyObject*>(Py_TYPE(self)), fields);
}

PyMemberDef g_word_members[] = {
    {"text", T_OBJECT_EX, offsetof(WordObject, text), READONLY,
     "The word as the tagger returns it."},
    {"start", T_PYSSIZET, offsetof(WordObject, start), READONLY,
     "Index of its first character in the tagged str."},
    {"end", T_PYSSIZET, offsetof(WordObject, end), READONLY,
     "Index just past its last character in the tagged str."},
    {"type", T_INT, offsetof(WordObject, type), READONLY,
     "0 plain word, 1 'mdw' word, 2 class word, 3 named entity."},
    {"tag", T_OBJECT_EX, offsetof(WordObject, tag), READONLY,
     "'P', 'L' or 'O' for entities, the class of a class or mdw word, else None."},
    {nullptr, 0, 0, 0, nullptr}};

PyMethodDef g_word_methods[] = {
    {"__reduce__", WordReduce, METH_NOARGS, "Pickles a Word as its five fields."},
    {nullptr, nullptr, 0, nullptr}};

PyType_Slot g_word_slots[] = {
    {Py_tp_doc, const_cast<char*>("Word(text, start, end, type=0, tag=None)\n--\n\n"
                                  "One word of a tagging result.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(WordDealloc)},
    {Py_tp_new, reinterpret_cast<void*>(WordNew)},
    {Py_tp_repr, reinterpret_cast<void*>(WordRepr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(WordRichCompare)},
    {Py_tp_hash, reinterpret_cast<void*>(WordHash)},
    {Py_tp_members, g_word_members},
    {Py_tp_methods, g_word_methods},
    {0, nullptr}};

PyType_Spec g_word_spec = {"verrin._verrin.Word", sizeof(WordObject), 0, Py_TPFLAGS_DEFAULT,
                           g_word_slots};

// Tags one line with `tagger`: its words, their offsets turned into code
// points of the whole str. Runs without the GIL.
std::vector<verrin::CAlignedWord> TagLine(CKyVerrin& tagger, const Line& line, int option) {
  tag_WordInfoW* records = nullptr;
  int count = 0;
  tagger.KyTagNEInfo(line.units.c_str(), option, records, count);
  std::vector<verrin::CAlignedWord> words;
  try {
    words = verrin::AlignWords(line.units.c_str(), line.units.size(), records, count);
  } catch (...) {
    tagger.FreeWordSegResult(records, count);
    throw;
  }
  tagger.FreeWordSegResult(records, count);
  for (verrin::CAlignedWord& w : words) {
    w.start = line.cp_at[static_cast<size_t>(w.unitStart)];
    w.end = line.cp_at[static_cast<size_t>(w.unitEnd)];
  }
  return words;
}

// The words of every line of `lines`, appended to `out`.
void TagLines(CKyVerrin& tagger, const std::vector<Line>& lines, int option,
              std::vector<verrin::CAlignedWord>& out) {
  for (const Line& line : lines) {
    for (verrin::CAlignedWord& w : TagLine(tagger, line, option)) out.push_back(std::move(w));
  }
}

// Python objects for the words, with one str per distinct class text.
class WordBuilder {
 public:
  py::list Build(const std::vector<verrin::CAlignedWord>& raw) {
    py::list list(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
      const verrin::CAlignedWord& r = raw[i];
      const py::str text = FromUnits(r.word.data(), r.word.size());
      const py::object tag = r.hasTag ? Tag(r.tag) : py::none();
      PyObject* word = NewWord(text.ptr(), r.start, r.end, r.type, tag.ptr());
      if (word == nullptr) throw py::error_already_set();
      PyList_SET_ITEM(list.ptr(), static_cast<Py_ssize_t>(i), word);
    }
    return list;
  }

  py::object Tag(const std::u16string& tag) {
    for (auto& [text, obj] : tags_) {
      if (text == tag) return obj;
    }
    tags_.emplace_back(tag, FromUnits(tag.data(), tag.size()));
    return tags_.back().second;
  }

 private:
  std::vector<std::pair<std::u16string, py::object>> tags_;
};

// ---------------------------------------------------------------------------
// Tagger

class Tagger {
 public:
  Tagger(const std::string& resources, std::optional<std::string> model, bool protected_form)
      : resources_(resources), protected_(protected_form) {
    manager_ = LoadResourceSet(resources, model, protected_form, false, &model_);
  }

  ~Tagger() {
    // Taggers first: they read the manager's resource set.
    idle_.clear();
    manager_.reset();
  }

  // Lends one thread a CKyVerrin of its own (made on demand, kept for reuse).
  class Lease {
   public:
    explicit Lease(Tagger& owner) : owner_(owner), loading_(g_loading), tagger_(owner.Acquire()) {}
    ~Lease() { owner_.Release(std::move(tagger_)); }
    CKyVerrin& operator*() { return *tagger_; }

   private:
    Tagger& owner_;
    std::shared_lock<std::shared_mutex> loading_;
    std::unique_ptr<CKyVerrin> tagger_;
  };

  py::list Tag(const py::str& text, int option) {
    CheckOption(option);
    const std::vector<Line> lines = ToLines(text);
    std::vector<verrin::CAlignedWord> raw;
    {
      py::gil_scoped_release release;
      Lease lease(*this);
      TagLines(*lease, lines, option, raw);
    }
    return WordBuilder().Build(raw);
  }

  py::list Entities(const py::str& text, int option) {
    CheckOption(option);
    const std::vector<Line> lines = ToLines(text);
    std::vector<verrin::CAlignedEntity> entities;
    {
      py::gil_scoped_release release;
      Lease lease(*this);
      // Entities line by line: a record never continues a word of another line.
      for (const Line& line : lines) {
        for (verrin::CAlignedEntity& e : verrin::AlignedEntities(TagLine(*lease, line, option))) {
          entities.push_back(std::move(e));
        }
      }
    }
    WordBuilder builder;
    py::list out;
    for (const verrin::CAlignedEntity& e : entities) {
      out.append(py::make_tuple(e.start, e.end, builder.Tag(e.label),
                                FromUnits(e.text.data(), e.text.size())));
    }
    return out;
  }

  py::list TagMany(const py::iterable& texts, std::optional<int> threads, int option) {
    CheckOption(option);
    std::vector<std::vector<Line>> inputs;
    for (py::handle item : texts) {
      if (!py::isinstance<py::str>(item)) {
        throw py::type_error("tag_many expects an iterable of str, got " +
                             py::str(py::type::of(item).attr("__name__")).cast<std::string>());
      }
      inputs.push_back(ToLines(py::reinterpret_borrow<py::str>(item)));
    }
    if (threads.has_value() && *threads < 1) throw py::value_error("threads must be at least 1");
    size_t workers = threads.has_value() ? static_cast<size_t>(*threads)
                                         : std::max(1u, std::thread::hardware_concurrency());
    workers = std::max<size_t>(1, std::min(workers, inputs.size()));

    std::vector<std::vector<verrin::CAlignedWord>> results(inputs.size());
    {
      py::gil_scoped_release release;
      std::atomic<size_t> next{0};
      std::mutex error_mutex;
      std::exception_ptr error;
      auto work = [&]() {
        try {
          Lease lease(*this);
          for (size_t i = next++; i < inputs.size(); i = next++) {
            TagLines(*lease, inputs[i], option, results[i]);
          }
        } catch (...) {
          std::lock_guard<std::mutex> lock(error_mutex);
          if (!error) error = std::current_exception();
          next = inputs.size();
        }
      };
      std::vector<std::thread> pool;
      for (size_t t = 1; t < workers; ++t) pool.emplace_back(work);
      work();
      for (std::thread& t : pool) t.join();
      if (error) {
        py::gil_scoped_acquire acquire;
        std::rethrow_exception(error);
      }
    }
    WordBuilder builder;
    py::list out(inputs.size());
    for (size_t i = 0; i < results.size(); ++i) {
      PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i),
                      builder.Build(results[i]).release().ptr());
    }
    return out;
  }

  const std::string& resources() const { return resources_; }
  const std::string& model() const { return model_; }
  bool is_protected() const { return protected_; }

 private:
  static void CheckOption(int option) {
    if (option < 0 || option > 2) {
      throw py::value_error(
          "option must be 0 (raw text), 1 (words separated by '/') or 2 "
          "(words separated by spaces), got " +
          std::to_string(option));
    }
  }

  std::unique_ptr<CKyVerrin> Acquire() {
    {
      std::lock_guard<std::mutex> lock(pool_mutex_);
      if (!idle_.empty()) {
        std::unique_ptr<CKyVerrin> tagger = std::move(idle_.back());
        idle_.pop_back();
        return tagger;
      }
    }
    return std::make_unique<CKyVerrin>(manager_.get());
  }

  void Release(std::unique_ptr<CKyVerrin> tagger) {
    std::lock_guard<std::mutex> lock(pool_mutex_);
    idle_.push_back(std::move(tagger));
  }

  std::string resources_;
  std::string model_;
  bool protected_;
  std::unique_ptr<CNEResourceManager> manager_;
  std::mutex pool_mutex_;
  std::vector<std::unique_ptr<CKyVerrin>> idle_;  // taggers not lent out
};

// The Tagger behind `self`. One made by __new__ alone has no C++ object yet
// (pybind11 would hand its methods uninitialised storage).
Tagger& Self(py::handle self) {
  if (!py::isinstance<Tagger>(self)) throw py::type_error("a verrin.Tagger method needs a Tagger");
  auto* instance = reinterpret_cast<py::detail::instance*>(self.ptr());
  const py::detail::value_and_holder holder =
      instance->get_value_and_holder(py::detail::get_type_info(typeid(Tagger)));
  if (!holder.holder_constructed()) {
    throw py::type_error("this Tagger was never initialised: make it with verrin.Tagger(...)");
  }
  return *holder.value_ptr<Tagger>();
}

}  // namespace

PYBIND11_MODULE(_verrin, m) {
  m.doc() = "Extension module of the verrin package; import verrin instead.";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const char* message) {
      // The library reports allocation failures as a thrown C string.
      PyErr_SetString(PyExc_MemoryError, message);
    }
  });

  g_word_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&g_word_spec));
  if (g_word_type == nullptr) throw py::error_already_set();
  m.add_object("Word", reinterpret_cast<PyObject*>(g_word_type));

  py::class_<Tagger>(m, "Tagger")
      .def(py::init<const std::string&, std::optional<std::string>, bool>(), py::arg("resources"),
           py::arg("model"), py::arg("protected"))
      .def(
          "tag",
          [](py::handle self, const py::str& text, int option) {
            return Self(self).Tag(text, option);
          },
          py::arg("text"), py::arg("option") = 0,
          "tag(text, option=0) -> list[Word]\n\n"
          "Tags every line of `text` (lines end at '\\n') and returns the words of all lines\n"
          "in order; start and end index `text` in code points. option: 0 raw text, 1 words\n"
          "separated by '/', 2 words separated by spaces. Raises ValueError for surrogate\n"
          "code points in `text` and for any other option.")
      .def(
          "entities",
          [](py::handle self, const py::str& text, int option) {
            return Self(self).Entities(text, option);
          },
          py::arg("text"), py::arg("option") = 0,
          "entities(text, option=0) -> list[tuple[int, int, str, str]]\n\n"
          "(start, end, label, text) of every person (P), location (L) and organization (O)\n"
          "of `text`, tagged as by tag(). An entity longer than 255 characters, which tag()\n"
          "gives as several words, is one entity here.")
      .def(
          "tag_many",
          [](py::handle self, const py::iterable& texts, std::optional<int> threads, int option) {
            return Self(self).TagMany(texts, threads, option);
          },
          py::arg("texts"), py::arg("threads") = py::none(), py::arg("option") = 0,
          "tag_many(texts, threads=None, option=0) -> list[list[Word]]\n\n"
          "tag() of every str of `texts`, in input order, on up to `threads` threads (default:\n"
          "one per core) with the GIL released. Nothing is tagged when a text is invalid.")
      .def_property_readonly("_resources",
                             [](py::handle t) { return py::bytes(Self(t).resources()); })
      .def_property_readonly("_model", [](py::handle t) { return py::bytes(Self(t).model()); })
      .def_property_readonly("protected", [](py::handle t) { return Self(t).is_protected(); });

  verrin_python::DefineAdapting(m);
}
