#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <string>

#include "common/file_io.h"

namespace ravir::python {

namespace py = pybind11;

// Text the core made of file names, which need not be UTF-8, as Python shows file
// names: bytes that do not decode become surrogate escapes, as os.fsdecode makes them.
inline py::str fileText(const std::string& text)
{
    PyObject* decoded = PyUnicode_DecodeFSDefaultAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

// The OSError Python code expects: errno, its text and the file names set, so that it
// becomes FileNotFoundError, PermissionError and so on.
[[noreturn]] inline void raiseOSError(int error, const std::string& reason, const std::string& path,
                                      const std::string& otherPath = "")
{
    const py::object second = otherPath.empty() ? py::object(py::none()) : py::object(fileText(otherPath));
    PyErr_SetObject(PyExc_OSError, py::make_tuple(error, reason, fileText(path), py::none(), second).ptr());
    throw py::error_already_set();
}

// Calls `call`, turning a file the core could not write, and a file-system error of
// the palette search or of the paths of a save, into OSError.
template <class Call>
auto fileErrorsAsOSError(Call&& call) -> decltype(call())
{
    try {
        return call();
    } catch (const FileError& error) {
        raiseOSError(error.error(), error.reason(), error.path());
    } catch (const std::filesystem::filesystem_error& error) {
        raiseOSError(error.code().value(), error.code().message(), error.path1().native(), error.path2().native());
    }
}

}  // namespace ravir::python
