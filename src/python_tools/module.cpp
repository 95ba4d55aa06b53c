#define Py_LIMITED_API 0x030B0000
#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {
PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "velk_tools", nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

PyMODINIT_FUNC PyInit_velk_tools() { return PyModule_Create(&module_definition); }
