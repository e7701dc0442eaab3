// The classes of vellix.readable as instances of the per-class family
// (frame/object.hpp), and the host that runs Sheet's searches for
// ReadableSheet: hits are ReadableCell objects and the core work runs with
// the interpreter lock released.
#pragma once

#include <Python.h>

#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"
#include "module/frame/args.hpp"
#include "module/frame/gil.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/object.hpp"
#include "module/sheet_search.hpp"

namespace vellix::module {

// The constructor's signature, which also gives the class's text signature.
inline constexpr py::Signature<1> kFinderNew{"Finder.__new__", {"sheets"}, 1};

VELLIX_CLASS_SPEC(FinderSpec, core::SharedBook, "Finder", "vellix.readable.Finder", doc_of<kFinderNew>(), 0);
VELLIX_CLASS_SPEC(ReadableSheetSpec, core::SharedSheet, "ReadableSheet", "vellix.readable.ReadableSheet", nullptr,
                  Py_TPFLAGS_DISALLOW_INSTANTIATION);
VELLIX_CLASS_SPEC(ReadableCellSpec, core::SharedCell, "ReadableCell", "vellix.readable.ReadableCell", nullptr,
                  Py_TPFLAGS_DISALLOW_INSTANTIATION);

using Finder = py::PyClass<FinderSpec>;
using ReadableSheet = py::PyClass<ReadableSheetSpec>;
using ReadableCell = py::PyClass<ReadableCellSpec>;

inline constexpr char kReadableSheetName[] = "ReadableSheet";
using ReadableSheetHost = SearchHost<ReadableSheet, ReadableCell, py::ReleaseInterpreterLock, kReadableSheetName>;

}  // namespace vellix::module
