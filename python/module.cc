// The extension tpjconv._tpjconv: the library's conversions of files and of text, their findings,
// warnings and totals as Python objects, and its errors as Python exceptions. The arguments are
// checked and turned into the library's options here; everything else is the library's.
#include <pybind11/pybind11.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tpjconv/findings_csv.h"
#include "tpjconv/tpjconv.h"

namespace py = pybind11;

namespace {

using tpjconv::Finding;
using tpjconv::Model;
using tpjconv::RuleCount;
using tpjconv::Warning;

// The name of the error handler that reads a byte of no UTF-8 sequence as Latin-1.
constexpr const char* kLatin1Fallback = "tpjconv.latin1";

// A text of the data as str: UTF-8 where it is, each other byte as Latin-1, as the findings
// file reads it.
py::str text_of(std::string_view bytes) {
  PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()),
                                        kLatin1Fallback);
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

// The handler behind kLatin1Fallback: the bytes that could not be decoded, as Latin-1.
py::tuple latin1_fallback(py::object error) {
  const py::bytes undecoded = error.attr("object")[py::slice(error.attr("start"),
                                                             error.attr("end"), py::none())];
  return py::make_tuple(undecoded.attr("decode")("latin-1"), error.attr("end"));
}

// A 32-bit value as the double of its shortest decimal form: 0.02f is 0.02, as the findings file
// writes it and a reader of that file gets it back.
double number_of(float value) {
  if (!std::isfinite(value)) return static_cast<double>(value);
  // Room for the longest shortest form of a float, such as "-1.17549435e-38".
  std::string text(std::numeric_limits<float>::max_digits10 + 8, '\0');
  const auto written = std::to_chars(text.data(), text.data() + text.size(), value);
  double widened = static_cast<double>(value);
  std::from_chars(text.data(), written.ptr, widened);
  return widened;
}

py::str model_text(Model model) {
  const std::string_view name = tpjconv::model_name(model);
  return py::str(name.data(), name.size());
}

py::dict by_model(const std::array<int, tpjconv::kModelCount>& counts) {
  py::dict dict;
  for (const Model model : tpjconv::kModels) {
    dict[model_text(model)] = counts[static_cast<std::size_t>(model)];
  }
  return dict;
}

const char* kind_name(tpjconv::WarningKind kind) {
  switch (kind) {
    case tpjconv::WarningKind::record: return "record";
    case tpjconv::WarningKind::name_mismatch: return "name_mismatch";
    case tpjconv::WarningKind::bus_file: return "bus_file";
    case tpjconv::WarningKind::unused_entry: return "unused_entry";
    case tpjconv::WarningKind::settings: return "settings";
    case tpjconv::WarningKind::files: return "files";
  }
  return "record";
}

const char* kind_name(tpjconv::ErrorKind kind) {
  switch (kind) {
    case tpjconv::ErrorKind::invalid_argument: return "invalid_argument";
    case tpjconv::ErrorKind::open: return "open";
    case tpjconv::ErrorKind::create: return "create";
    case tpjconv::ErrorKind::collision: return "collision";
    case tpjconv::ErrorKind::read: return "read";
    case tpjconv::ErrorKind::write: return "write";
    case tpjconv::ErrorKind::replace: return "replace";
    case tpjconv::ErrorKind::out_of_memory: return "out_of_memory";
  }
  return "read";
}

// The Python objects of one finding, made once.
struct PyFinding {
  Finding finding;
  py::str file, model, bus_name, unit_id, rule, parameter;
  double base_kv = 0.0, value = 0.0;
  py::object corrected_to;

  explicit PyFinding(Finding from)
      : finding(std::move(from)),
        file(text_of(finding.file)),
        model(model_text(finding.model)),
        bus_name(text_of(finding.bus_name)),
        unit_id(text_of(finding.unit_id)),
        rule(text_of(finding.rule)),
        parameter(text_of(finding.parameter)),
        base_kv(number_of(finding.base_kv)),
        value(number_of(finding.value)),
        corrected_to(finding.corrected_to ? py::object(py::float_(number_of(*finding.corrected_to)))
                                          : py::object(py::none())) {}

  py::tuple fields() const {
    return py::make_tuple(file, finding.line, model, finding.bus, bus_name, base_kv, unit_id,
                          finding.level, finding.code, rule, parameter, value, corrected_to);
  }
};

struct PyWarning {
  py::str kind, file, text;
  long line = 0;

  explicit PyWarning(const Warning& warning)
      : kind(kind_name(warning.kind)), file(text_of(warning.file)), text(text_of(warning.text)),
        line(warning.line) {}
  py::tuple fields() const { return py::make_tuple(kind, file, line, text); }
};

struct PyRuleCount {
  py::str model, rule;
  int code = 0;
  long count = 0, corrected = 0;
  bool finding = true;

  explicit PyRuleCount(const RuleCount& row)
      : model(model_text(row.model)), rule(text_of(row.rule)), code(row.code), count(row.count),
        corrected(row.corrected), finding(row.finding) {}
  py::tuple fields() const { return py::make_tuple(model, code, rule, count, corrected, finding); }
};

// What a conversion gives back. The findings become Python objects when first asked for: a
// large file has tens of thousands, and a caller that only wants the files or the table should
// not pay for them.
struct PyResult {
  py::dict read, changed;
  std::vector<Finding> finding_data;
  py::object finding_list = py::none();
  py::list warnings, rules;
  py::object converted = py::none(), check_log = py::none(), report = py::none();

  py::object findings() {
    if (finding_list.is_none()) {
      py::list list(finding_data.size());
      for (std::size_t i = 0; i < finding_data.size(); ++i) {
        list[i] = py::cast(PyFinding(finding_data[i]));
      }
      finding_list = std::move(list);
    }
    return finding_list;
  }
};

// The columns of the findings file, in its order.
constexpr const char* kFindingColumns[] = {"file",     "line",      "model",    "bus",
                                           "bus_name", "base_kv",   "unit_id",  "level",
                                           "code",     "rule",      "parameter", "value",
                                           "corrected_to"};

py::object findings_frame(const PyResult& result) {
  py::module_ pandas;
  try {
    pandas = py::module_::import("pandas");
  } catch (py::error_already_set& error) {
    if (!error.matches(PyExc_ImportError)) throw;
    throw py::import_error(
        "findings_frame() needs pandas, which is not installed for this Python: install it "
        "(Debian/Ubuntu: apt-get install python3-pandas; otherwise: python -m pip install "
        "pandas), or read result.findings instead");
  }
  std::vector<py::list> columns(std::size(kFindingColumns));
  for (const Finding& finding : result.finding_data) {
    const py::tuple fields = PyFinding(finding).fields();
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i].append(fields[i]);
  }
  py::dict data;
  for (std::size_t i = 0; i < columns.size(); ++i) data[kFindingColumns[i]] = columns[i];
  py::list names;
  for (const char* name : kFindingColumns) names.append(name);
  py::object frame = pandas.attr("DataFrame")(data, py::arg("columns") = names);
  // Numbers, None as NaN, also when no finding was corrected or there are none.
  return frame.attr("astype")(py::dict(py::arg("corrected_to") = "float64",
                                       py::arg("value") = "float64",
                                       py::arg("base_kv") = "float64"));
}

// Collects what a conversion finds, on the thread that converts; turned into Python objects
// afterwards, with the interpreter's lock held. Running out of memory here is reported after.
class Collector final : public tpjconv::Observer {
 public:
  void finding(const Finding& finding) override {
    try {
      findings.push_back(finding);
    } catch (...) {
      out_of_memory = true;
    }
  }
  void warning(const Warning& warning) override {
    try {
      warnings.push_back(warning);
    } catch (...) {
      out_of_memory = true;
    }
  }

  std::vector<Finding> findings;
  std::vector<Warning> warnings;
  bool out_of_memory = false;
};

// The module's exception type, tpjconv.Error.
py::object error_type() { return py::module_::import("tpjconv._tpjconv").attr("Error"); }

py::str path_text(const std::string& path) {
  return py::module_::import("os").attr("fsdecode")(py::bytes(path));
}

// Raises the Python exception of `error`: FileNotFoundError or PermissionError when the system
// said so (the file, the system's reason, and the library's sentence as a note), MemoryError,
// else tpjconv.Error with the message the command line prints after "tpjconv: ".
[[noreturn]] void raise_error(const tpjconv::Error& error) {
  if (error.kind == tpjconv::ErrorKind::out_of_memory) throw std::bad_alloc();
  const py::module_ os = py::module_::import("os");
  const py::object file = error.file.empty() ? py::object(py::none()) : path_text(error.file);
  const py::str message = text_of(error.message);
  const py::module_ codes = py::module_::import("errno");
  const int enoent = codes.attr("ENOENT").cast<int>();
  const int eacces = codes.attr("EACCES").cast<int>();
  const int eperm = codes.attr("EPERM").cast<int>();
  PyObject* type = nullptr;
  if (error.os_error == enoent) type = PyExc_FileNotFoundError;
  if (error.os_error == eacces || error.os_error == eperm) type = PyExc_PermissionError;
  if (type != nullptr) {
    py::object exception = py::reinterpret_borrow<py::object>(type)(
        error.os_error, os.attr("strerror")(error.os_error), file);
    if (py::hasattr(exception, "add_note")) exception.attr("add_note")(message);
    PyErr_SetObject(type, exception.ptr());
    throw py::error_already_set();
  }
  const py::object type_of_error = error_type();
  py::object exception = type_of_error(message);
  exception.attr("kind") = kind_name(error.kind);
  exception.attr("errno") = error.os_error;
  exception.attr("file") = file;
  exception.attr("line") = error.line;
  exception.attr("message") = message;
  PyErr_SetObject(type_of_error.ptr(), exception.ptr());
  throw py::error_already_set();
}

template <typename T>
T value_or_raise(tpjconv::Result<T> result) {
  if (!result) raise_error(result.error());
  return std::move(result.value());
}

// A Kis or tcmin: a real number (not a bool), finite, 0 or more, within the 32-bit range.
// `what` names the argument, `or_else` says what else it may be.
float number_argument(py::handle value, const std::string& what, const std::string& or_else) {
  const bool number = !PyBool_Check(value.ptr()) &&
                      (PyFloat_Check(value.ptr()) || PyLong_Check(value.ptr()) ||
                       PyObject_HasAttrString(value.ptr(), "__float__"));
  if (!number) {
    throw py::type_error(what + " must be a number" + or_else + ", not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
  }
  const double x = py::float_(py::reinterpret_borrow<py::object>(value));
  if (!std::isfinite(x) || x < 0.0 || x > static_cast<double>(std::numeric_limits<float>::max())) {
    throw py::value_error(what + " must be a finite number of 0 or more within the 32-bit "
                          "range" + or_else + ", not " + std::string(py::repr(value)));
  }
  return static_cast<float>(x);
}

tpjconv::Options options_of(py::handle kis, py::handle tcmin) {
  if (!PySequence_Check(kis.ptr()) || PyUnicode_Check(kis.ptr()) || PyBytes_Check(kis.ptr())) {
    throw py::type_error("kis must be a sequence of three Kis (gensal, gentpf, genrou), each a "
                         "number or None, not " +
                         std::string(py::str(py::type::handle_of(kis).attr("__name__"))));
  }
  const py::sequence values = py::reinterpret_borrow<py::sequence>(kis);
  if (values.size() != tpjconv::kModelCount) {
    throw py::value_error("kis must hold three Kis (gensal, gentpf, genrou), each a number or "
                          "None, not " + std::to_string(values.size()));
  }
  tpjconv::Options options;
  for (const Model model : tpjconv::kModels) {
    const std::size_t i = static_cast<std::size_t>(model);
    const py::object value = values[i];
    if (value.is_none()) continue;
    const std::string name(tpjconv::model_name(model));
    options.kis[i] =
        number_argument(value, "kis[" + std::to_string(i) + "], the Kis of " + name + ",",
                        ", or None to leave " + name + " unconverted");
  }
  options.tcmin = number_argument(tcmin, "tcmin", "");
  return options;
}

// A path argument as the bytes the system gets: str, bytes or os.PathLike.
std::string path_argument(py::handle path, const char* what) {
  if (!PyUnicode_Check(path.ptr()) && !PyBytes_Check(path.ptr()) &&
      !PyObject_HasAttrString(path.ptr(), "__fspath__")) {
    throw py::type_error(std::string(what) + " must be a path (str, bytes or os.PathLike), not " +
                         std::string(py::str(py::type::handle_of(path).attr("__name__"))));
  }
  return py::module_::import("os").attr("fsencode")(path).cast<std::string>();
}

std::optional<std::string> optional_path(py::handle path, const char* what) {
  if (path.is_none()) return std::nullopt;
  return path_argument(path, what);
}

// The bytes of a text argument: bytes as they are, str as Latin-1 (each character one byte).
std::string text_argument(py::handle text, const char* what) {
  if (PyBytes_Check(text.ptr()) || PyByteArray_Check(text.ptr())) {
    return py::bytes(py::reinterpret_borrow<py::object>(text)).cast<std::string>();
  }
  if (!PyUnicode_Check(text.ptr())) {
    throw py::type_error(std::string(what) + " must be str or bytes, not " +
                         std::string(py::str(py::type::handle_of(text).attr("__name__"))));
  }
  PyObject* bytes = PyUnicode_AsLatin1String(text.ptr());
  if (bytes == nullptr) {
    PyErr_Clear();
    throw py::value_error(std::string(what) + " must hold only characters U+0000 to U+00FF, "
                          "each one byte of the data (Latin-1); pass bytes for other data");
  }
  return py::reinterpret_steal<py::bytes>(bytes).cast<std::string>();
}

// The warning of a conversion that converts no model.
std::optional<Warning> no_model_warning(const tpjconv::Options& options) {
  for (const auto& kis : options.kis) {
    if (kis) return std::nullopt;
  }
  return Warning{tpjconv::WarningKind::settings, "", 0,
                 "no model enabled (every Kis is None): nothing will be converted", false};
}

PyResult result_of(const tpjconv::Totals& totals, Collector& collector,
                   std::optional<Warning> first_warning) {
  if (collector.out_of_memory) throw std::bad_alloc();
  PyResult result;
  result.read = by_model(totals.read);
  result.changed = by_model(totals.changed);
  result.finding_data = std::move(collector.findings);
  if (first_warning) result.warnings.append(py::cast(PyWarning(*first_warning)));
  for (const Warning& warning : collector.warnings) {
    result.warnings.append(py::cast(PyWarning(warning)));
  }
  for (const RuleCount& row : totals.rules) result.rules.append(py::cast(PyRuleCount(row)));
  return result;
}

PyResult convert(py::object input, py::object bus_file, py::object kis, py::object tcmin,
                 py::object output, py::object check_log, py::object report) {
  tpjconv::FileRun files;
  files.input = path_argument(input, "input");
  files.bus_file = optional_path(bus_file, "bus_file");
  files.output = optional_path(output, "output");
  files.check_log = optional_path(check_log, "check_log");
  files.report = optional_path(report, "report");
  const tpjconv::Options options = options_of(kis, tcmin);
  Collector collector;
  std::optional<tpjconv::Result<tpjconv::Totals>> totals;
  {
    py::gil_scoped_release unlocked;
    totals.emplace(tpjconv::convert_files(files, options, &collector));
  }
  return result_of(value_or_raise(std::move(*totals)), collector, no_model_warning(options));
}

PyResult convert_text(py::object text, py::object bus_text, py::object kis, py::object tcmin,
                      py::object name, py::object bus_name) {
  const bool as_bytes = !PyUnicode_Check(text.ptr());
  const std::string input = text_argument(text, "text");
  const std::optional<std::string> bus =
      bus_text.is_none() ? std::nullopt : std::optional(text_argument(bus_text, "bus_text"));
  const std::string input_name = path_argument(name, "name");
  const std::string bus_list_name = path_argument(bus_name, "bus_name");
  const tpjconv::Options options = options_of(kis, tcmin);
  Collector collector;
  tpjconv::StringSink converted, check_log, report;
  std::optional<tpjconv::Result<tpjconv::Totals>> totals;
  {
    py::gil_scoped_release unlocked;
    std::optional<tpjconv::BusList> bus_list;
    std::optional<tpjconv::Error> bus_error;
    if (bus) {
      tpjconv::Result<tpjconv::BusList> loaded =
          tpjconv::BusList::from_text(*bus, bus_list_name, &collector);
      if (loaded) {
        bus_list = std::move(*loaded);
      } else {
        bus_error = loaded.error();
      }
    }
    if (bus_error) {
      totals.emplace(std::move(*bus_error));
    } else {
      totals.emplace(tpjconv::convert_text(input, input_name, bus_list ? &*bus_list : nullptr,
                                           options, {&converted, &check_log, &report},
                                           &collector));
    }
  }
  PyResult result =
      result_of(value_or_raise(std::move(*totals)), collector, no_model_warning(options));
  const auto out = [as_bytes](const std::string& bytes) -> py::object {
    if (as_bytes) return py::bytes(bytes);
    PyObject* decoded =
        PyUnicode_DecodeLatin1(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), nullptr);
    if (decoded == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(decoded);
  };
  result.converted = out(converted.text());
  result.check_log = out(check_log.text());
  result.report = out(report.text());
  return result;
}

// repr() of a record-like object: Name(field=value, ...).
std::string record_repr(const char* type, const std::vector<const char*>& names,
                        const py::tuple& fields) {
  std::string text = std::string(type) + "(";
  std::size_t i = 0;
  for (const char* name : names) {
    if (i > 0) text += ", ";
    text += std::string(name) + "=" + std::string(py::repr(fields[i]));
    ++i;
  }
  return text + ")";
}

template <typename T>
void add_record_methods(py::class_<T>& type, const char* name, std::vector<const char*> names) {
  type.def("__eq__", [](const T& a, py::object b) -> py::object {
        if (!py::isinstance<T>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(a.fields().equal(b.cast<const T&>().fields()));
      })
      .def("__hash__", [](const T& a) { return py::hash(a.fields()); })
      .def("__repr__", [name, names](const T& a) { return record_repr(name, names, a.fields()); })
      .def("astuple", [](const T& a) { return a.fields(); },
           "The fields as a tuple, in the order of the class's fields.");
}

}  // namespace

PYBIND11_MODULE(_tpjconv, m) {
  m.doc() = "The conversion of gensal, gentpf and genrou records to gentpj, as Python calls.";
  py::module_::import("codecs").attr("register_error")(kLatin1Fallback,
                                                       py::cpp_function(latin1_fallback));

  PyObject* const error = PyErr_NewExceptionWithDoc(
      "tpjconv.Error",
      "A conversion that failed for another reason than a missing file or a permission: two "
      "files of the run that are one (kind 'collision'), a read or write that failed, new files "
      "that could not be put in place. str() is the message the command line prints after "
      "'tpjconv: '; the attributes kind, errno (0 when the system gave none), file (None when "
      "none), line (0 when none) and message say the same as data.",
      PyExc_Exception, nullptr);
  if (error == nullptr) throw py::error_already_set();
  m.add_object("Error", py::reinterpret_steal<py::object>(error));

  py::class_<PyFinding> finding(m, "Finding",
                                "One finding: a rule a record broke, as its check-log line shows "
                                "it, with the fields of a row of the findings file.");
  finding.def_property_readonly("file", [](const PyFinding& f) { return f.file; },
                                "The input's name, as the conversion was given it.")
      .def_property_readonly("line", [](const PyFinding& f) { return f.finding.line; },
                             "The record's first line in the input, from 1.")
      .def_property_readonly("model", [](const PyFinding& f) { return f.model; },
                             "'gensal', 'gentpf' or 'genrou'.")
      .def_property_readonly("bus", [](const PyFinding& f) { return f.finding.bus; },
                             "The bus number of the record.")
      .def_property_readonly("bus_name", [](const PyFinding& f) { return f.bus_name; },
                             "The bus name, without its padding blanks.")
      .def_property_readonly("base_kv", [](const PyFinding& f) { return f.base_kv; },
                             "The base kV of the record.")
      .def_property_readonly("unit_id", [](const PyFinding& f) { return f.unit_id; },
                             "The unit ID, without its padding blanks.")
      .def_property_readonly("level", [](const PyFinding& f) { return f.finding.level; },
                             "The check level the record was converted at: 0 corrects, 1 only "
                             "reports.")
      .def_property_readonly("code", [](const PyFinding& f) { return f.finding.code; },
                             "The check code of the check-log line, such as 209.")
      .def_property_readonly("rule", [](const PyFinding& f) { return f.rule; },
                             "The rule's own text, such as 'lpd > 0.4*ld'.")
      .def_property_readonly("parameter", [](const PyFinding& f) { return f.parameter; },
                             "The gentpj parameter the rule judges, such as 'lpd'.")
      .def_property_readonly("value", [](const PyFinding& f) { return f.value; },
                             "That parameter's value when the rule judged it.")
      .def_property_readonly("corrected_to", [](const PyFinding& f) { return f.corrected_to; },
                             "The value the rule set, or None when it did not correct it.")
      .def_property_readonly("corrected",
                             [](const PyFinding& f) { return f.finding.corrected(); },
                             "Whether the rule corrected the value.")
      .def("csv_row",
           [](const PyFinding& f) {
             std::string row;
             tpjconv::append_findings_csv_row(row, f.finding);
             return py::bytes(row).attr("decode")("utf-8");
           },
           "The finding's row of the findings file (CSV, with its CR LF line end).");
  add_record_methods(finding, "Finding",
                     {"file", "line", "model", "bus", "bus_name", "base_kv", "unit_id", "level",
                      "code", "rule", "parameter", "value", "corrected_to"});

  py::class_<PyWarning> warning(m, "Warning",
                                "One warning: input not read as meant, a name that differs from "
                                "the bus numbers file, an entry listed twice or never used.");
  warning.def_property_readonly("kind", [](const PyWarning& w) { return w.kind; },
                                "What it is about: 'record', 'name_mismatch', 'bus_file', "
                                "'unused_entry', 'settings' or 'files'.")
      .def_property_readonly("file", [](const PyWarning& w) { return w.file; },
                             "The file it concerns; '' when none.")
      .def_property_readonly("line", [](const PyWarning& w) { return w.line; },
                             "The line of that file; 0 when none.")
      .def_property_readonly("text", [](const PyWarning& w) { return w.text; },
                             "What the warning says, as the command line says it.");
  add_record_methods(warning, "Warning", {"kind", "file", "line", "text"});

  py::class_<PyRuleCount> rule(m, "RuleCount",
                               "A row of the findings summary: the check-log lines of one rule "
                               "of one model.");
  rule.def_property_readonly("model", [](const PyRuleCount& r) { return r.model; },
                             "'gensal', 'gentpf' or 'genrou'.")
      .def_property_readonly("code", [](const PyRuleCount& r) { return r.code; },
                             "The check code.")
      .def_property_readonly("rule", [](const PyRuleCount& r) { return r.rule; },
                             "The rule's own text.")
      .def_property_readonly("count", [](const PyRuleCount& r) { return r.count; },
                             "Its check-log lines.")
      .def_property_readonly("corrected", [](const PyRuleCount& r) { return r.corrected; },
                             "Of those, the findings whose value was corrected.")
      .def_property_readonly("finding", [](const PyRuleCount& r) { return r.finding; },
                             "False for the salient-pole line 000, which is no finding.");
  add_record_methods(rule, "RuleCount",
                     {"model", "code", "rule", "count", "corrected", "finding"});

  py::class_<PyResult>(m, "Result", "What a conversion gives back.")
      .def_readonly("read", &PyResult::read,
                    "Records handed to a converter, by model name: {'gensal': n, ...}.")
      .def_readonly("changed", &PyResult::changed,
                    "Records with findings and a report block, by model name.")
      .def_property_readonly("findings", &PyResult::findings,
                    "Every finding (list of Finding), in the order of the check log.")
      .def_readonly("warnings", &PyResult::warnings,
                    "Every warning (list of Warning), in the order they were given.")
      .def_readonly("rules", &PyResult::rules,
                    "The findings summary (list of RuleCount): by model, then code, then rule.")
      .def_readonly("converted", &PyResult::converted,
                    "convert_text(): the converted file (str, or bytes when the text was bytes); "
                    "convert(): None.")
      .def_readonly("check_log", &PyResult::check_log,
                    "convert_text(): the check log; convert(): None.")
      .def_readonly("report", &PyResult::report,
                    "convert_text(): the comparison report; convert(): None.")
      .def("findings_frame", &findings_frame,
           "The findings as a pandas.DataFrame, one row each, with the columns of the findings "
           "file (corrected_to NaN when not corrected). Raises ImportError, saying how to "
           "install it, when pandas is missing.");

  const py::tuple no_kis = py::make_tuple(py::none(), py::none(), py::none());
  m.def("convert", &convert, py::arg("input"), py::arg("bus_file") = py::none(),
        py::arg("kis") = no_kis, py::arg("tcmin") = 0.025, py::arg("output") = py::none(),
        py::arg("check_log") = py::none(), py::arg("report") = py::none(),
        R"(Converts the dynamic-data file `input` as the command line does, without its prompt.

bus_file: the bus numbers file, or None to convert every record of the enabled models at
check level 0. kis: the Kis of gensal, gentpf and genrou, each a number of 0 or more, or None to
leave that model unconverted. tcmin: the smallest subtransient time constant accepted.
output, check_log, report: the files to write, each None to write none. Each is written as a new
file beside its name and put in place only when all are complete; refused (tpjconv.Error)
when two files of the run are one. Raises FileNotFoundError or PermissionError (with the file),
tpjconv.Error for other failures, TypeError or ValueError for bad arguments. The interpreter's
lock is released while the conversion runs.)");
  m.def("convert_text", &convert_text, py::arg("text"), py::arg("bus_text") = py::none(),
        py::arg("kis") = no_kis, py::arg("tcmin") = 0.025, py::arg("name") = "<text>",
        py::arg("bus_name") = "<bus text>",
        R"(Converts a dynamic-data file held in memory; the same as convert() on a file.

text and bus_text (the bus numbers file, or None) are the bytes of the files: bytes, or str whose
characters U+0000 to U+00FF each stand for one byte (Latin-1). The result's converted, check_log
and report are of the same type as text. name and bus_name stand for the files' names in
findings and warnings.)");
  m.def("findings_csv_header",
        [] { return py::str(std::string(tpjconv::findings_csv_header())); },
        "The header row of the findings file, with its CR LF line end.");
  m.def("version", [] { return py::str(tpjconv::version()); }, "The library's version.");
}
