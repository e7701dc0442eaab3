// Argument matching and conversion with CPython's exact messages.
//
// A Signature declares a method or function once: the argument matching and
// the text signature Python shows (method_table.hpp) both come from it.
// match() binds METH_FASTCALL|METH_KEYWORDS arguments to parameter names
// without allocating: positional arguments fill parameters in order, keywords
// by name. Conversions then run in signature order; a conversion that fails
// with exactly TypeError is re-raised as "argument '<name>': <message>"
// (keeping __cause__), other exception types pass unchanged.
//
//   constexpr Signature<2> kSig{"Book.add_sheet", {"name", "sheet_state=\"visible\""}, 1};
//   auto a = kSig.match(args, nargsf, kwnames);      // a[1] == nullptr when left out
//   std::string_view name = arg_text(a[0], "name");
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "module/frame/errors.hpp"

namespace vellix::py {

namespace detail {
// A name stored in the signature itself, so that one can be made at compile
// time ("ReadableSheet" + "." + "find_cell_by_str").
struct Name {
  char text[64];
};
// Fills out[0..n) with borrowed references; nullptr for parameters left out.
// `fname` is "Class.method" or "function" (messages add "()").
void match_arguments(const char* fname, const char* const* names, size_t n, size_t required, PyObject* const* args,
                     Py_ssize_t nargsf, PyObject* kwnames, PyObject** out);
// The same for tp_new / METH_VARARGS calls (an args tuple and a kwargs dict).
void match_tuple_arguments(const char* fname, const char* const* names, size_t n, size_t required, PyObject* args,
                           PyObject* kwargs, PyObject** out);
}  // namespace detail

template <size_t N>
struct Signature {
  detail::Name fname;  // "Book.add_sheet", "Book.__new__", "column_number_to_letter"
  // Parameter names in order; one with a default shows it as Python code
  // does, after '=': "value=None".
  std::array<const char*, N> names;
  size_t required;  // the first `required` parameters have no default
  // Positional only, with any keyword accepted and ignored (Service's hooks).
  bool any_keywords = false;
  const char* doc = "";  // what help() shows after the text signature

  std::array<PyObject*, N> match(PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) const {
    std::array<PyObject*, N> out{};
    detail::match_arguments(fname.text, names.data(), N, required, args, nargsf, kwnames, out.data());
    return out;
  }
  std::array<PyObject*, N> match_tuple(PyObject* args, PyObject* kwargs) const {
    std::array<PyObject*, N> out{};
    detail::match_tuple_arguments(fname.text, names.data(), N, required, args, any_keywords ? nullptr : kwargs,
                                  out.data());
    return out;
  }
};

// "<owner>.<member>" as a signature's name, made at compile time.
constexpr detail::Name qualified_name(const char* owner, const char* member) {
  detail::Name name{};
  size_t k = 0;
  for (; *owner != '\0'; ++owner) name.text[k++] = *owner;
  name.text[k++] = '.';
  for (; *member != '\0'; ++member) name.text[k++] = *member;
  return name;
}

// Conversions of one argument; `name` is used for the "argument '<name>': " prefix.
uint32_t arg_row(PyObject* o, const char* name);   // 0..4294967295
uint16_t arg_col(PyObject* o, const char* name);   // 0..65535
int32_t arg_index(PyObject* o, const char* name);  // signed 32-bit
double arg_float(PyObject* o, const char* name);
bool arg_bool(PyObject* o, const char* name);  // True/False or a numpy bool
// A str or str subclass as UTF-8; the view lives as long as `o`.
std::string_view arg_text(PyObject* o, const char* name);
// A list or list subclass (borrowed, checked).
PyObject* arg_list(PyObject* o, const char* name);
// Any sequence but a str, items by the row, column or text rule.
std::vector<uint32_t> arg_rows(PyObject* o, const char* name);
std::vector<uint16_t> arg_cols(PyObject* o, const char* name);
std::vector<std::string> arg_texts(PyObject* o, const char* name);

// The cast TypeError "'<type>' object cannot be cast as '<target>'" (unprefixed).
[[noreturn]] void throw_cast_error(PyObject* o, const char* target);
// Re-raises a PyError carrying exactly TypeError as "argument '<name>': ...".
[[noreturn]] void rethrow_with_argument_name(PyError& e, const char* name);

}  // namespace vellix::py
