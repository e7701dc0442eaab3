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

// Both setters borrow the comment exclusively.
int set_author(PyObject* self, PyObject* value, void*) noexcept {
  return write_attribute<Comment, py::ExclusiveBorrow>(
      self, value, text_val, [](core::CoreComment& c, std::string_view author) { c.author.assign(author); });
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

auto kGetSet =
    attribute_table<6>({{"author", getter_of<Comment, field<&core::CoreComment::author>, py::py_str>, set_author},
                        {"text", getter_of<Comment, field<&core::CoreComment::text>, py::py_str>, set_text},
                        {"coordinate", get_coordinate},
                        {"row", getter_of<Comment, field<&core::CoreComment::row>, py::py_int>},
                        {"column", getter_of<Comment, field<&core::CoreComment::column>, py::py_int>}});

}  // namespace

py::ClassSlots CommentSpec::slots() { return {.getset = kGetSet.data()}; }

PyTypeObject* comment_type() { return Comment::type_object_or_null(); }

}  // namespace vellix::module
