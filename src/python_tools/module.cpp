// The extension module `velk_tools`, beside velk_calculations on the same
// core: member diagrams and the model check, each taking the model document
// as a str and returning JSON text. Messages become RuntimeError, internal
// faults the module's own exception type derived from BaseException.
// Built against the stable ABI of CPython 3.11 (Py_LIMITED_API, set by the
// build), like velk_calculations.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/driver.hpp"
#include "base/message_format.hpp"
#include "inspection/buckling_output.hpp"
#include "inspection/inspection.hpp"
#include "inspection/modal_inspection.hpp"
#include "python_binding/extension.hpp"
#include "report/html_report.hpp"

namespace {

using namespace velk::python;

// The keyword every function takes: the most members the model may have,
// named in the message of a model beyond it.
velk::Result<velk::MemberLimit> member_limit(long long max_members) {
  if (max_members < 1 || max_members > static_cast<long long>(velk::max_member_limit)) {
    return std::unexpected(velk::format_message("max_members must be a whole number from 1 to {}, not {}",
                                                velk::max_member_limit, max_members));
  }
  return velk::MemberLimit{.max = static_cast<std::size_t>(max_members), .option = "max_members"};
}

constexpr long long default_max_members = static_cast<long long>(velk::max_member_count);

// `work` of the member limit that max_members gives (or its message), run
// as every function of the module runs: guarded, without the GIL.
template <class Work>
PyObject* run_with_member_limit(PyObject* module, long long max_members, Work&& work) {
  return run_guarded_without_lock(module, [&]() -> velk::Result<std::string> {
    const auto limit = member_limit(max_members);
    if (!limit) return std::unexpected(limit.error());
    return work(*limit);
  });
}

// The results document of the model, as calculate_from_json of
// velk_calculations returns it, for models of up to max_members members.
PyObject* analyse(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "max_members", nullptr};
  PyObject* json_data = nullptr;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|$L:analyse", const_cast<char**>(keywords), &json_data,
                                   &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::analyse_document(text, velk::SolverEntries{}, limit);
  });
}

PyObject* member_diagrams(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "stations", "max_members", nullptr};
  PyObject* json_data = nullptr;
  int stations = velk::default_diagram_stations;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|i$L:member_diagrams", const_cast<char**>(keywords),
                                   &json_data, &stations, &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::member_diagrams_json(text, stations, limit);
  });
}

PyObject* check_model(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "max_members", nullptr};
  PyObject* json_data = nullptr;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|$L:check_model", const_cast<char**>(keywords), &json_data,
                                   &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::findings_to_json(velk::check_model(text, limit));
  });
}

// The HTML report of the model (report/html_report.hpp); a model that
// cannot be analysed gives the page with the model and the message.
PyObject* report_html(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "max_members", nullptr};
  PyObject* json_data = nullptr;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|$L:report_html", const_cast<char**>(keywords), &json_data,
                                   &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::report::report_html_from_json(text, limit);
  });
}

// The envelope of the combinations (inspection/inspection.hpp): limit_state
// None or "ULS", "SLS", "FLS", "ALS"; combinations None or a list or tuple
// of names. Wrong types are TypeError, wrong values the engine's message.
PyObject* envelopes(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "limit_state", "combinations", "with_cases",
                                   "stations",  "max_members", nullptr};
  PyObject* json_data = nullptr;
  PyObject* limit_state = Py_None;
  PyObject* combinations = Py_None;
  int with_cases = 0;
  int stations = velk::default_envelope_stations;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|OOpi$L:envelopes", const_cast<char**>(keywords),
                                   &json_data, &limit_state, &combinations, &with_cases, &stations,
                                   &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  velk::EnvelopeSelection selection;
  selection.with_cases = with_cases != 0;
  std::optional<std::string> bad_limit_state;
  if (limit_state != Py_None) {
    std::string_view spelling;
    if (!PyUnicode_Check(limit_state)) {
      PyErr_SetString(PyExc_TypeError, "limit_state must be a str or None");
      return nullptr;
    }
    if (!utf8_of(limit_state, spelling)) return nullptr;
    const auto state = velk::parse_limit_state("limit_state", spelling);
    if (state) {
      selection.limit_state = *state;
    } else {
      bad_limit_state = state.error();
    }
  }
  if (combinations != Py_None) {
    if (!PyList_Check(combinations) && !PyTuple_Check(combinations)) {
      PyErr_SetString(PyExc_TypeError, "combinations must be a list or tuple of str, or None");
      return nullptr;
    }
    const Py_ssize_t count = PySequence_Size(combinations);
    if (count < 0) return nullptr;
    std::vector<std::string> names;
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject* item = PySequence_GetItem(combinations, i);
      if (item == nullptr) return nullptr;
      std::string_view name;
      const bool is_str = PyUnicode_Check(item);
      const bool read = is_str && utf8_of(item, name);
      if (read) names.emplace_back(name);
      Py_DECREF(item);
      if (!is_str) {
        PyErr_SetString(PyExc_TypeError, "combinations must be a list or tuple of str, or None");
        return nullptr;
      }
      if (!read) return nullptr;
    }
    selection.combinations = std::move(names);
  }
  return run_guarded_without_lock(module, [&]() -> velk::Result<std::string> {
    if (bad_limit_state) return std::unexpected(*bad_limit_state);
    const auto limit = member_limit(max_members);
    if (!limit) return std::unexpected(limit.error());
    return velk::envelope_json(text, selection, stations, *limit);
  });
}

// The critical load factors, buckling modes and buckling lengths of every
// case and combination (inspection/buckling_output.hpp), as `velk buckling
// --json` prints them.
PyObject* buckling_analysis(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "modes", "max_members", nullptr};
  PyObject* json_data = nullptr;
  int modes = velk::default_buckling_modes;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|i$L:buckling_analysis", const_cast<char**>(keywords),
                                   &json_data, &modes, &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::buckling_json(text, modes, limit);
  });
}

// Natural frequencies and mode shapes (inspection/modal_inspection.hpp).
PyObject* modal_analysis(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "modes", "mass", "mass_case", "max_members", nullptr};
  PyObject* json_data = nullptr;
  long modes = velk::default_mode_count;
  const char* mass = "consistent";
  const char* mass_case = nullptr;
  long long max_members = default_max_members;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|lsz$L:modal_analysis", const_cast<char**>(keywords),
                                   &json_data, &modes, &mass, &mass_case, &max_members)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  std::optional<std::string> case_name;
  if (mass_case != nullptr) case_name = mass_case;
  const std::string mass_name = mass;
  return run_with_member_limit(module, max_members, [&](const velk::MemberLimit& limit) {
    return velk::modal_analysis_json(text, modes, mass_name, case_name, limit);
  });
}

PyMethodDef module_methods[] = {
    {"analyse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(analyse)),
     METH_VARARGS | METH_KEYWORDS,
     "analyse(json_data, *, max_members=100)\n--\n\nThe results document of the model, as "
     "calculate_from_json "
     "of velk_calculations returns it, for a model of at most max_members members."},
    {"member_diagrams", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(member_diagrams)),
     METH_VARARGS | METH_KEYWORDS,
     "member_diagrams(json_data, stations=11, *, max_members=100)\n--\n\nInternal forces and displacements "
     "along every member of "
     "every load case and combination, at `stations` equally spaced positions, with their span extremes, as "
     "JSON text."},
    {"check_model", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check_model)),
     METH_VARARGS | METH_KEYWORDS,
     "check_model(json_data, *, max_members=100)\n--\n\nThe problems of the model, found without solving it, "
     "as a JSON list of "
     "objects with severity, message and where."},
    {"report_html", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(report_html)),
     METH_VARARGS | METH_KEYWORDS,
     "report_html(json_data, *, max_members=100)\n--\n\nThe model, its deformed shape, diagrams and tables "
     "as one self-contained "
     "HTML page (the page that `velk report` writes)."},
    {"envelopes", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(envelopes)),
     METH_VARARGS | METH_KEYWORDS,
     "envelopes(json_data, limit_state=None, combinations=None, with_cases=False, stations=11, *, "
     "max_members=100)\n--\n\nThe "
     "design values over the load combinations (of one limit state, or those named, with the load cases when "
     "with_cases is true): per member the envelope curves at `stations` positions and the exact span "
     "extremes, "
     "per node the displacements and per support the reactions, each with the governing case, as JSON text."},
    {"buckling_analysis", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(buckling_analysis)),
     METH_VARARGS | METH_KEYWORDS,
     "buckling_analysis(json_data, modes=4, *, max_members=100)\n--\n\nThe elastic critical load factors, "
     "buckling modes and "
     "buckling lengths of every load case and combination, as JSON text."},
    {"modal_analysis", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(modal_analysis)),
     METH_VARARGS | METH_KEYWORDS,
     "modal_analysis(json_data, modes=6, mass=\"consistent\", mass_case=None, *, max_members=100)\n--\n\nThe "
     "lowest natural "
     "frequencies and mode shapes of the model with their effective masses, as JSON text (the text that "
     "`velk modes --json` prints)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef definition = module_definition("velk_tools", module_methods);

}  // namespace

PyMODINIT_FUNC PyInit_velk_tools() { return create_module(&definition, "velk_tools.EngineFault"); }
