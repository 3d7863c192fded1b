#pragma once

#include <pybind11/pybind11.h>

namespace ravir::python {

namespace py = pybind11;

// Each registers its classes, with all their members, in the module's order.
void bindAnimationTree(py::module_& m);  // OrvInfo, OrvData, OrvFrame, OrvPixelSet, OrvPixelBlock
void bindRenderer(py::module_& m);       // OrvFrameBufferObject, OrvFrameBuffer
void bindPalette(py::module_& m);        // PalFColor, PalF
void bindAnimationFile(py::module_& m);  // OrvF

}  // namespace ravir::python
