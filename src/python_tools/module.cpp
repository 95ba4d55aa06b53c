// The extension module `velk_tools`, beside velk_calculations on the same
// core: member diagrams and the model check, each taking the model document
// as a str and returning JSON text. Messages become RuntimeError, internal
// faults the module's own exception type derived from BaseException.
// Built on the stable ABI of Python 3.11 and later.

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <expected>
#include <string>
#include <string_view>

#include "base/fault.hpp"
#include "inspection/inspection.hpp"
#include "report/html_report.hpp"

namespace {

struct ModuleState {
  PyObject* engine_fault;  // the exception type for internal faults
};

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

// The UTF-8 text of a str, kept alive by the str itself.
bool utf8_of(PyObject* str, std::string_view& out) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

PyObject* to_python(const std::expected<std::string, std::string>& outcome) {
  if (outcome) return PyUnicode_FromStringAndSize(outcome->data(), static_cast<Py_ssize_t>(outcome->size()));
  PyObject* message = PyUnicode_DecodeUTF8(outcome.error().data(),
                                           static_cast<Py_ssize_t>(outcome.error().size()), "replace");
  if (message == nullptr) return nullptr;
  PyErr_SetObject(PyExc_RuntimeError, message);
  Py_DECREF(message);
  return nullptr;
}

// Runs one engine call without the interpreter lock; an internal fault stops
// the call and becomes the module's fault exception.
template <class Call>
PyObject* run_guarded(PyObject* module, Call&& call) {
  std::expected<std::string, std::string> outcome;
  std::string fault;
  Py_BEGIN_ALLOW_THREADS;
  try {
    outcome = call();
  } catch (const velk::Fault& error) {
    fault = error.what();
  } catch (const std::exception& error) {
    fault = error.what();
  } catch (...) {
    fault = "unknown internal fault";
  }
  Py_END_ALLOW_THREADS;
  if (fault.empty()) return to_python(outcome);
  PyObject* message = PyUnicode_DecodeUTF8(fault.data(), static_cast<Py_ssize_t>(fault.size()), "replace");
  if (message == nullptr) return nullptr;
  PyErr_SetObject(state_of(module)->engine_fault, message);
  Py_DECREF(message);
  return nullptr;
}

PyObject* member_diagrams(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", "stations", nullptr};
  PyObject* json_data = nullptr;
  int stations = 11;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|i:member_diagrams", const_cast<char**>(keywords),
                                   &json_data, &stations)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_guarded(module, [&] { return velk::member_diagrams_json(text, stations); });
}

PyObject* check_model(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", nullptr};
  const char* data = nullptr;
  Py_ssize_t size = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "s#:check_model", const_cast<char**>(keywords), &data,
                                   &size)) {
    return nullptr;
  }
  const std::string_view text(data, static_cast<std::size_t>(size));
  return run_guarded(module, [&]() -> std::expected<std::string, std::string> {
    return velk::findings_to_json(velk::check_model(text));
  });
}

// The HTML report of the model (report/html_report.hpp); a model that
// cannot be analysed gives the page with the model and the message.
PyObject* report_html(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"json_data", nullptr};
  PyObject* json_data = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U:report_html", const_cast<char**>(keywords), &json_data)) {
    return nullptr;
  }
  std::string_view text;
  if (!utf8_of(json_data, text)) return nullptr;
  return run_guarded(module, [&] { return velk::report::report_html_from_json(text); });
}

PyMethodDef module_methods[] = {
    {"member_diagrams", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(member_diagrams)),
     METH_VARARGS | METH_KEYWORDS,
     "member_diagrams(json_data, stations=11)\n--\n\nInternal forces and displacements along every member of "
     "every load case and combination, at `stations` equally spaced positions, with their span extremes, as "
     "JSON text."},
    {"check_model", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(check_model)),
     METH_VARARGS | METH_KEYWORDS,
     "check_model(json_data)\n--\n\nThe problems of the model, found without solving it, as a JSON list of "
     "objects with severity, message and where."},
    {"report_html", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(report_html)),
     METH_VARARGS | METH_KEYWORDS,
     "report_html(json_data)\n--\n\nThe model, its deformed shape, diagrams and tables as one self-contained "
     "HTML page (the page that `velk report` writes)."},
    {nullptr, nullptr, 0, nullptr},
};

int module_traverse(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_VISIT(state->engine_fault);
  return 0;
}

int module_clear(PyObject* module) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_CLEAR(state->engine_fault);
  return 0;
}

void module_free(void* module) { module_clear(static_cast<PyObject*>(module)); }

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "velk_tools", nullptr,     sizeof(ModuleState), module_methods, nullptr,
    module_traverse,       module_clear, module_free,
};

}  // namespace

PyMODINIT_FUNC PyInit_velk_tools() {
  PyObject* module = PyModule_Create(&module_definition);
  if (module == nullptr) return nullptr;
  ModuleState* state = state_of(module);
  state->engine_fault = PyErr_NewException("velk_tools.EngineFault", PyExc_BaseException, nullptr);
  if (state->engine_fault == nullptr) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
