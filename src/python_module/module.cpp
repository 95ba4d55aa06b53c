// The extension module `velk_calculations`: three functions taking one str
// and returning the model document as a str. Messages become RuntimeError,
// internal faults the module's own exception type derived from BaseException.
// Built against the stable ABI of CPython 3.11 (Py_LIMITED_API, set by the
// build), so one file imports in every interpreter from 3.11 on.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <expected>
#include <string>
#include <string_view>

#include "analysis/driver.hpp"
#include "base/fault.hpp"

namespace {

struct ModuleState {
  PyObject* engine_fault;  // the exception type for internal faults
};

ModuleState* state_of(PyObject* module) { return static_cast<ModuleState*>(PyModule_GetState(module)); }

// Extracts the one str argument `name` of `function`, given by position or by
// keyword. On failure a TypeError is set and nothing is returned.
bool single_str_argument(const char* function, const char* name, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, std::string_view& out) {
  PyObject* value = nullptr;
  if (nargs > 1) {
    PyErr_Format(PyExc_TypeError, "%s() takes 1 positional arguments but %zd were given", function, nargs);
    return false;
  }
  if (nargs == 1) value = args[0];
  const Py_ssize_t keyword_count = kwnames ? PyTuple_Size(kwnames) : 0;
  for (Py_ssize_t i = 0; i < keyword_count; ++i) {
    PyObject* keyword = PyTuple_GetItem(kwnames, i);  // borrowed
    if (PyUnicode_CompareWithASCIIString(keyword, name) != 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function, keyword);
      return false;
    }
    if (value != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function, name);
      return false;
    }
    value = args[nargs + i];
  }
  if (value == nullptr) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%s'", function, name);
    return false;
  }
  if (!PyUnicode_Check(value)) {
    PyObject* type_name = PyType_GetQualName(Py_TYPE(value));
    if (type_name == nullptr) return false;
    PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be converted to 'PyString'", name,
                 type_name);
    Py_DECREF(type_name);
    return false;
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

// Hands the outcome of one call back to Python.
PyObject* to_python(const std::expected<std::string, std::string>& outcome) {
  if (outcome) return PyUnicode_FromStringAndSize(outcome->data(), static_cast<Py_ssize_t>(outcome->size()));
  PyObject* message =
      PyUnicode_FromStringAndSize(outcome.error().data(), static_cast<Py_ssize_t>(outcome.error().size()));
  if (message == nullptr) return nullptr;
  PyErr_SetObject(PyExc_RuntimeError, message);
  Py_DECREF(message);
  return nullptr;
}

void raise_fault(PyObject* module, const char* text) {
  PyObject* message =
      PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::char_traits<char>::length(text)), "replace");
  if (message == nullptr) return;
  PyErr_SetObject(state_of(module)->engine_fault, message);
  Py_DECREF(message);
}

// Runs one engine call; an internal fault stops the call and becomes the
// module's fault exception, so the host process goes on.
template <class Call>
PyObject* run_guarded(PyObject* module, Call&& call) {
  try {
    return to_python(call());
  } catch (const velk::Fault& fault) {
    raise_fault(module, fault.what());
  } catch (const std::exception& error) {
    raise_fault(module, error.what());
  } catch (...) {
    raise_fault(module, "unknown internal fault");
  }
  return nullptr;
}

PyObject* calculate_from_json(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view json_data;
  if (!single_str_argument("calculate_from_json", "json_data", args, nargs, kwnames, json_data))
    return nullptr;
  return run_guarded(module, [&] { return velk::calculate_from_json(json_data); });
}

PyObject* calculate_from_file(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view path;
  if (!single_str_argument("calculate_from_file", "path", args, nargs, kwnames, path)) return nullptr;
  return run_guarded(module, [&] { return velk::calculate_from_file(std::string(path)); });
}

PyObject* load_velk_from_file(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  std::string_view path;
  if (!single_str_argument("load_velk_from_file", "path", args, nargs, kwnames, path)) return nullptr;
  return run_guarded(module, [&] { return velk::load_velk_from_file(std::string(path)); });
}

PyMethodDef module_methods[] = {
    {"calculate_from_json", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(calculate_from_json)),
     METH_FASTCALL | METH_KEYWORDS, "calculate_from_json(json_data)\n--\n\n"},
    {"calculate_from_file", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(calculate_from_file)),
     METH_FASTCALL | METH_KEYWORDS, "calculate_from_file(path)\n--\n\n"},
    {"load_velk_from_file", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(load_velk_from_file)),
     METH_FASTCALL | METH_KEYWORDS, "load_velk_from_file(path)\n--\n\n"},
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
    PyModuleDef_HEAD_INIT, "velk_calculations", nullptr,     sizeof(ModuleState), module_methods, nullptr,
    module_traverse,       module_clear,        module_free,
};

// The engine's entry point may run only once per process: the interpreter
// calls it again when the module is imported anew after being dropped.
bool g_initialised = false;

}  // namespace

PyMODINIT_FUNC PyInit_velk_calculations() {
  if (g_initialised) {
    PyErr_SetString(PyExc_ImportError,
                    "velk_calculations may only be initialized once per interpreter process");
    return nullptr;
  }
  PyObject* module = PyModule_Create(&module_definition);
  if (module == nullptr) return nullptr;
  ModuleState* state = state_of(module);
  state->engine_fault = PyErr_NewException("velk_calculations.EngineFault", PyExc_BaseException, nullptr);
  if (state->engine_fault == nullptr) {
    Py_DECREF(module);
    return nullptr;
  }
  g_initialised = true;
  return module;
}
