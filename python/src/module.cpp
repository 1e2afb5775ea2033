// The tessal Python module's entry: the exception type and the parts.
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "pydocument.h"

namespace py = pybind11;

PYBIND11_MODULE(_tessal, m) {
    m.doc() = "The Tessal engine: files, processes and analyses (see the tessal package).";
    auto& error = py::register_exception<tessal::pymodule::terror>(m, "Error", PyExc_RuntimeError);
    error.attr("__doc__") = "What the engine refused, with its own message.";
    tessal::py_bind::bind_document(m);
    tessal::py_bind::bind_analyses(m);
}
