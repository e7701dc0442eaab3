// Comment: a live view of one comment of a sheet; its author and text can be
// changed, its place cannot. Its objects come only from Sheet.comments.

#include <Python.h>

#include <string>
#include <string_view>

#include "core/sheet/sheet.hpp"
#include "module/classes.hpp"
#include "module/frame/attribute.hpp"
#include "module/frame/registry.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {
namespace {

std::string_view text_val(PyObject* v) { return py::arg_text(v, "val"); }

PyObject* get_author(PyObject* self, void*) noexcept {
  return read_attribute<Comment>(
      self, [](const core::CoreComment& c) { return c.author; }, py::py_str);
}

// Both setters borrow the comment exclusively.
int set_author(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Comment, py::ExclusiveBorrow>(
      self, value, text_val, [](core::CoreComment& c, std::string_view author) { c.author.assign(author); });
}

PyObject* get_text(PyObject* self, void*) noexcept {
  return read_attribute<Comment>(
      self, [](const core::CoreComment& c) { return c.text; }, py::py_str);
}

int set_text(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Comment, py::ExclusiveBorrow>(
      self, value, text_val, [](core::CoreComment& c, std::string_view text) { c.text.assign(text); });
}

PyObject* get_coordinate(PyObject* self, void*) noexcept {
  return read_attribute<Comment>(
      self,
      [](const core::CoreComment& c) {
        return core::Coordinate{c.row, c.column};
      },
      [](core::Coordinate at) {
        return py_int_tuple({at.row, at.column});
      });
}

PyObject* get_row(PyObject* self, void*) noexcept {
  return read_attribute<Comment>(
      self, [](const core::CoreComment& c) { return c.row; }, py::py_int);
}

PyObject* get_column(PyObject* self, void*) noexcept {
  return read_attribute<Comment>(
      self, [](const core::CoreComment& c) { return c.column; }, py::py_int);
}

auto kGetSet = attribute_table<6>({{"author", get_author, set_author},
                                   {"text", get_text, set_text},
                                   {"coordinate", get_coordinate},
                                   {"row", get_row},
                                   {"column", get_column}});

}  // namespace

py::ClassSlots CommentSpec::slots() { return {.getset = kGetSet.data()}; }

PyTypeObject* comment_type() { return Comment::type_object_or_null(); }

}  // namespace vellix::module
