#pragma once

#include <pybind11/pybind11.h>

#include "common/file_io.h"

namespace ravir::python {

namespace py = pybind11;

// A file the core could not write, as the OSError Python code expects: errno, its
// text and the file name set, so that it becomes FileNotFoundError, PermissionError
// and so on.
[[noreturn]] inline void raiseOSError(const FileError& error)
{
    PyErr_SetObject(PyExc_OSError, py::make_tuple(error.error(), error.reason(), error.path()).ptr());
    throw py::error_already_set();
}

// Calls `save`, turning a file that could not be written into OSError.
template <class Save>
void savingFile(Save&& save)
{
    try {
        save();
    } catch (const FileError& error) {
        raiseOSError(error);
    }
}

}  // namespace ravir::python
