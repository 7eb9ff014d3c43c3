// verrin._verrin.adapt and adapt_defaults: AdaptResources (verrin/adapt.h)
// for Python.
#ifndef VERRIN_PYTHON_ADAPTING_H_
#define VERRIN_PYTHON_ADAPTING_H_

#include <pybind11/pybind11.h>

namespace verrin_python {

// Adds adapt() and adapt_defaults() to the module.
void DefineAdapting(pybind11::module_& m);

}  // namespace verrin_python

#endif  // VERRIN_PYTHON_ADAPTING_H_
