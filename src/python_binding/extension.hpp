#pragma once
// What every extension module of the engine shares at the Python boundary:
// the module state holding the module's own fault type, the translation of an
// engine outcome into a str or RuntimeError, and the guard that turns an
// internal fault into that fault type so the host process goes on. Include
// it after <Python.h>, in the one source of a module.

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "base/fault.hpp"
#include "base/result.hpp"

namespace velk::python {

struct ModuleState {
  PyObject* engine_fault;  // the exception type for internal faults
};

inline ModuleState* state_of(PyObject* module) {
  return static_cast<ModuleState*>(PyModule_GetState(module));
}

// A str from UTF-8 text; bytes that are not UTF-8 become U+FFFD, so a message
// always reaches the caller as the exception it belongs to.
inline PyObject* str_from_utf8(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

// The UTF-8 text of a str, kept alive by the str itself.
inline bool utf8_of(PyObject* str, std::string_view& out) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str, &size);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(size));
  return true;
}

inline void raise_with(PyObject* type, std::string_view text) {
  PyObject* message = str_from_utf8(text);
  if (message == nullptr) return;
  PyErr_SetObject(type, message);
  Py_DECREF(message);
}

// Hands the outcome of one call back to Python: the text as a str, a
// message as RuntimeError.
inline PyObject* to_python(const Result<std::string>& outcome) {
  if (outcome) return PyUnicode_FromStringAndSize(outcome->data(), static_cast<Py_ssize_t>(outcome->size()));
  raise_with(PyExc_RuntimeError, outcome.error());
  return nullptr;
}

// Runs one engine call and gives its outcome, or the text of the internal
// fault that stopped it in `fault`. Touches nothing of the interpreter, so it
// may run with the interpreter lock released.
template <class Call>
Result<std::string> run_catching(Call&& call, std::optional<std::string>& fault) {
  try {
    return call();
  } catch (const Fault& error) {
    fault = error.what();
  } catch (const std::exception& error) {
    fault = error.what();
  } catch (...) {
    fault = "unknown internal fault";
  }
  return {};
}

// Runs one engine call holding the interpreter lock; an internal fault
// becomes the module's fault exception.
template <class Call>
PyObject* run_guarded(PyObject* module, Call&& call) {
  std::optional<std::string> fault;
  Result<std::string> outcome = run_catching(call, fault);
  if (!fault) return to_python(outcome);
  raise_with(state_of(module)->engine_fault, *fault);
  return nullptr;
}

// The same with the interpreter lock released for the call, so other
// Python threads run while the engine works.
template <class Call>
PyObject* run_guarded_without_lock(PyObject* module, Call&& call) {
  std::optional<std::string> fault;
  Result<std::string> outcome;
  Py_BEGIN_ALLOW_THREADS;
  outcome = run_catching(call, fault);
  Py_END_ALLOW_THREADS;
  if (!fault) return to_python(outcome);
  raise_with(state_of(module)->engine_fault, *fault);
  return nullptr;
}

inline int module_traverse(PyObject* module, visitproc visit, void* arg) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_VISIT(state->engine_fault);
  return 0;
}

inline int module_clear(PyObject* module) {
  ModuleState* state = state_of(module);
  if (state != nullptr) Py_CLEAR(state->engine_fault);
  return 0;
}

inline void module_free(void* module) { module_clear(static_cast<PyObject*>(module)); }

// The definition of a module with `methods` and the state above.
inline PyModuleDef module_definition(const char* name, PyMethodDef* methods) {
  return {PyModuleDef_HEAD_INIT, name,         nullptr,    sizeof(ModuleState), methods, nullptr,
          module_traverse,       module_clear, module_free};
}

// Creates the module of `definition` with its fault type `fault_name`
// ("<module>.EngineFault", derived from BaseException so that no handler of
// Exception swallows it); nullptr with the Python error set on failure.
inline PyObject* create_module(PyModuleDef* definition, const char* fault_name) {
  PyObject* module = PyModule_Create(definition);
  if (module == nullptr) return nullptr;
  ModuleState* state = state_of(module);
  state->engine_fault = PyErr_NewException(fault_name, PyExc_BaseException, nullptr);
  if (state->engine_fault == nullptr) {
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}

}  // namespace velk::python
