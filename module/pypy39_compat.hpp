// C-API stand-ins so that pybind11 3.x compiles against PyPy 3.9's cpyext.
// Include before <pybind11/pybind11.h>. Nothing here is active on CPython or
// on PyPy 3.10 and later.
//
// PyPy 3.9 lacks PyModule_GetFilenameObject, which pybind11 calls from
// module_::def_submodule. The stand-in keeps CPython's contract: a new
// reference to the module's __file__ string, or nullptr with SystemError set
// (pybind11 clears a SystemError there and leaves the submodule without
// __file__; any other error type would fail the import).
#pragma once

#include <Python.h>

#if defined(PYPY_VERSION) && PY_VERSION_HEX < 0x030A0000 && !defined(PyModule_GetFilenameObject)

static inline PyObject* jdpricer_PyModule_GetFilenameObject(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_BadArgument();
    return nullptr;
  }
  PyObject* dict = PyModule_GetDict(module);                                     // borrowed
  PyObject* file = dict != nullptr ? PyDict_GetItemString(dict, "__file__") : nullptr;  // borrowed
  if (file == nullptr || !PyUnicode_Check(file)) {
    PyErr_SetString(PyExc_SystemError, "module filename missing");
    return nullptr;
  }
  Py_INCREF(file);
  return file;
}
#define PyModule_GetFilenameObject jdpricer_PyModule_GetFilenameObject

#endif
