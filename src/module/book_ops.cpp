#include "module/book_ops.hpp"

#include <string>
#include <string_view>
#include <utility>

#include "core/sheet/json.hpp"
#include "core/sheet/sheet_index.hpp"
#include "module/classes.hpp"
#include "module/frame/errors.hpp"
#include "module/frame/object.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {

namespace {

std::string json_text(const core::SharedBook& book) {
  return unwrap([&] {
    auto sheets = book.read();
    return core::book_to_json(*sheets);
  }());
}

}  // namespace

py::Ref book_sheets(const core::SharedBook& book) {
  core::SheetList copy;
  {
    auto sheets = book.read();
    copy = *sheets;
  }
  return Sheet::new_list(std::move(copy));
}

py::Ref book_add_sheet(const core::SharedBook& book, PyObject* name, PyObject* sheet_state) {
  std::string_view name_text = py::arg_text(name, "name");
  std::string_view state_text = sheet_state ? py::arg_text(sheet_state, "sheet_state") : std::string_view("visible");
  core::SharedSheet added;
  {
    auto sheets = book.write();
    added = core::add_sheet_core(*sheets, name_text, state_text);
  }
  return Sheet::new_object(std::move(added));
}

py::Ref book_copy_sheet(const core::SharedBook& book, PyObject* sheet) {
  core::SharedSheet source = extract_sheet_handle(sheet, "sheet");
  core::SharedSheet copy;
  {
    auto sheets = book.write();
    copy = core::copy_sheet_core(*sheets, std::move(source));
  }
  return Sheet::new_object(std::move(copy));
}

py::Ref book_get_sheet_index(const core::SharedBook& book, PyObject* idx) {
  int32_t index = py::arg_index(idx, "idx");
  core::SharedSheet found = core::sheet_at_index(*book.read(), index);  // unlocked at the semicolon
  return object_or_none<Sheet>(std::move(found));
}

py::Ref book_get_sheet_name(const core::SharedBook& book, PyObject* name) {
  std::string_view wanted = py::arg_text(name, "name");
  core::SharedSheet found;
  {
    auto sheets = book.read();
    found = core::sheet_by_name(*sheets, wanted);
  }
  return object_or_none<Sheet>(std::move(found));
}

py::Ref book_to_json_str(const core::SharedBook& book) { return py::py_str(json_text(book)); }

py::Ref book_to_dict(const core::SharedBook& book) {
  py::Ref text = py::py_str(json_text(book));
  py::Ref module_name = py::py_str("json");
  // Imported anew each call so a replaced sys.modules["json"] or json.loads takes effect.
  py::Ref json = py::Ref::steal(py::parking_on_exit([&] { return PyImport_Import(module_name.get()); }));
  if (!json) py::throw_pending();
  py::Ref loads = py::Ref::steal(py::parking_on_exit([&] { return PyObject_GetAttrString(json.get(), "loads"); }));
  if (!loads) py::throw_pending();
  py::Ref result = py::Ref::steal(py::parking_on_exit([&] { return PyObject_CallOneArg(loads.get(), text.get()); }));
  if (!result) py::throw_pending();
  return result;
}

size_t book_sheet_count(const core::SharedBook& book) { return book.read()->size(); }

}  // namespace vellix::module
