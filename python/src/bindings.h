// The parts of the tessal Python module, each adding its functions and
// classes to the module, and what they share.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace tessal::py_bind {

void bind_document(pybind11::module_& m);
void bind_analyses(pybind11::module_& m);

// A path (str or os.PathLike) or an iterable of them, as strings.
inline std::vector<std::string> paths_of(const pybind11::object& o) {
    namespace py = pybind11;
    const py::object fspath = py::module_::import("os").attr("fspath");
    std::vector<std::string> out;
    if (py::isinstance<py::str>(o) || py::hasattr(o, "__fspath__")) {
        out.push_back(fspath(o).cast<std::string>());
    } else {
        for (py::handle p : o) out.push_back(fspath(p).cast<std::string>());
    }
    return out;
}

// One path (str or os.PathLike) as a string.
inline std::string path_of(const pybind11::object& o) {
    return pybind11::module_::import("os").attr("fspath")(o).cast<std::string>();
}

}  // namespace tessal::py_bind
