// Finder: a read-only snapshot of several sheet-like Python objects, handing
// out their sheets as ReadableSheet objects. The snapshot is made once, from
// what the objects report at that moment, and never changes; every member
// only read-locks it and keeps the interpreter lock.
#include "module/readable/finder.hpp"

#include <Python.h>

#include <string>
#include <utility>
#include <vector>

#include "core/pattern/pattern.hpp"
#include "core/search/search.hpp"
#include "core/sheet/queries.hpp"
#include "core/sheet/sheet.hpp"
#include "core/sheet/sheet_index.hpp"
#include "module/frame/args.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/gil.hpp"
#include "module/frame/method.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/qualname.hpp"
#include "module/frame/registry.hpp"
#include "module/frame/results.hpp"
#include "module/readable/classes.hpp"
#include "module/readable/convert.hpp"

namespace vellix::module {

namespace {

// Converts every item of `list` (lock held); the first error drops the
// sheets converted before it and is raised unchanged.
std::vector<core::CoreSheet> snapshot_sheets(PyObject* list) {
  SheetSnapshotWalk walk(list);
  std::vector<core::CoreSheet> sheets;
  while (std::optional<core::CoreSheet> sheet = next_sheet_snapshot(walk)) sheets.push_back(std::move(*sheet));
  if (walk.error) {
    sheets.clear();
    throw std::move(*walk.error);
  }
  return sheets;
}

// A snapshot never changes, so each sheet is sorted here, once, for all of
// its searches.
core::SharedBook snapshot_book(std::vector<core::CoreSheet> sheets) {
  core::SheetList shared = core::wrap_sheets_shared(std::move(sheets));
  for (const core::SharedSheet& sheet : shared) (void)core::sorted_cells(sheet.read()->cells);
  return core::SharedBook::make(std::move(shared));
}

PyObject* finder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return py::entry([&] {
    auto a = kFinderNew.match_tuple(args, kwargs);
    PyObject* list = py::arg_list(a[0], "sheets");
    return Finder::alloc(type, snapshot_book(snapshot_sheets(list)));
  });
}

PyObject* finder_sheets(PyObject* self, void*) noexcept {
  return read_attribute<Finder>(
      self, [](const core::SheetList& sheets) { return sheets; },
      [](core::SheetList sheets) { return ReadableSheet::new_list(std::move(sheets)); });
}

constexpr py::Signature<1> kGetSheetIndex{"Finder.get_sheet_index", {"idx"}, 1};

PyObject* finder_get_sheet_index(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return method<Finder>(kGetSheetIndex, self, args, nargsf, kwnames, [](Finder::Object& o, auto& a) {
    int32_t idx = py::arg_index(a[0], "idx");
    core::SharedSheet sheet =
        copy_locked(o.payload, [idx](const core::SheetList& sheets) { return core::sheet_at_index(sheets, idx); });
    return object_or_none<ReadableSheet>(std::move(sheet));
  });
}

template <auto Core>
PyObject* finder_sheets_by_names(const py::Signature<1>& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                 PyObject* kwnames) noexcept {
  return method<Finder>(sig, self, args, nargsf, kwnames, [](Finder::Object& o, auto& a) {
    std::vector<std::string> names = py::arg_texts(a[0], "name_list");
    std::vector<core::SharedSheet> hits =
        copy_locked(o.payload, [&](const core::SheetList& sheets) { return Core(names, sheets); });
    return ReadableSheet::new_list(std::move(hits));
  });
}

constexpr py::Signature<1> kGetSheetsWithoutNames{"Finder.get_sheets_without_names", {"name_list"}, 1};

PyObject* finder_get_sheets_without_names(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                          PyObject* kwnames) noexcept {
  return finder_sheets_by_names<core::get_sheets_without_names_core>(kGetSheetsWithoutNames, self, args, nargsf,
                                                                     kwnames);
}

constexpr py::Signature<1> kGetSheetsWithNames{"Finder.get_sheets_with_names", {"name_list"}, 1};

PyObject* finder_get_sheets_with_names(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                       PyObject* kwnames) noexcept {
  return finder_sheets_by_names<core::get_sheets_with_names_core>(kGetSheetsWithNames, self, args, nargsf, kwnames);
}

constexpr py::Signature<1> kFindSheetByName{"Finder.find_sheet_by_name", {"name"}, 1};

PyObject* finder_find_sheet_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                    PyObject* kwnames) noexcept {
  return method<Finder>(kFindSheetByName, self, args, nargsf, kwnames, [](Finder::Object& o, auto& a) {
    std::string_view name = py::arg_text(a[0], "name");
    core::SharedSheet sheet = copy_locked(
        o.payload, [&](const core::SheetList& sheets) { return core::find_sheet_by_name_core(name, sheets); });
    return object_or_none<ReadableSheet>(std::move(sheet));
  });
}

// Compiled as given: unlike the cell searches, case counts unless the pattern
// sets a flag itself. A pattern that does not compile raises RuntimeError
// with the pattern library's message, as every other pattern search does.
constexpr py::Signature<1> kFindSheetByRegex{"Finder.find_sheet_by_regex", {"pattern"}, 1};

PyObject* finder_find_sheet_by_regex(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                     PyObject* kwnames) noexcept {
  return method<Finder>(kFindSheetByRegex, self, args, nargsf, kwnames, [](Finder::Object& o, auto& a) {
    std::string_view text = py::arg_text(a[0], "pattern");
    core::Pattern pattern = unwrap(core::compile_pattern(text));
    core::SharedSheet sheet = copy_locked(
        o.payload, [&](const core::SheetList& sheets) { return core::find_sheet_by_regex_core(pattern, sheets); });
    return object_or_none<ReadableSheet>(std::move(sheet));
  });
}

// "<qualname>, sheets: <count>"
PyObject* finder_repr(PyObject* self) noexcept {
  return with_self<Finder>(self, [&](Finder::Object& o) {
    std::string text = class_qualname(self);
    text += ", sheets: ";
    text += std::to_string(copy_locked(o.payload, [](const core::SheetList& sheets) { return sheets.size(); }));
    return py::py_str(text);
  });
}

PyMethodDef kMethods[] = {
    fastcall_entry<kGetSheetIndex>(finder_get_sheet_index),
    fastcall_entry<kGetSheetsWithoutNames>(finder_get_sheets_without_names),
    fastcall_entry<kGetSheetsWithNames>(finder_get_sheets_with_names),
    fastcall_entry<kFindSheetByName>(finder_find_sheet_by_name),
    fastcall_entry<kFindSheetByRegex>(finder_find_sheet_by_regex),
    kMethodTableEnd,
};

auto kGetSet = attribute_table<2>({{"sheets", finder_sheets}});

}  // namespace

// Releases the interpreter lock only while the converted sheets are wrapped
// into the shared snapshot and sorted; reading the caller's objects needs
// the lock.
PyObject* create_finder(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return py::entry([&] {
    auto a = kCreateFinder.match(args, nargsf, kwnames);
    PyObject* list = py::arg_list(a[0], "sheets");
    std::vector<core::CoreSheet> sheets = snapshot_sheets(list);
    core::SharedBook book = py::without_interpreter_lock([&] { return snapshot_book(std::move(sheets)); });
    return Finder::new_object(std::move(book));
  });
}

py::ClassSlots FinderSpec::slots() {
  return {.tp_new = finder_new, .tp_repr = finder_repr, .methods = kMethods, .getset = kGetSet.data()};
}

PyTypeObject* finder_type() { return Finder::type_object_or_null(); }

}  // namespace vellix::module
