// The extension module `velk_calculations`: three functions taking one str
// and returning the model document as a str. Messages become RuntimeError,
// internal faults the module's own exception type derived from BaseException.
// Built against the stable ABI of CPython 3.11 (Py_LIMITED_API, set by the
// build), so one file imports in every interpreter from 3.11 on.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>
#include <string_view>

#include "analysis/driver.hpp"
#include "python_binding/extension.hpp"

namespace {

using namespace velk::python;

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
  return utf8_of(value, out);
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

PyModuleDef definition = module_definition("velk_calculations", module_methods);

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
  PyObject* module = create_module(&definition, "velk_calculations.EngineFault");
  if (module != nullptr) g_initialised = true;
  return module;
}
