// Rows of a class's or module's PyMethodDef table for the entry kinds the
// system uses. A row takes its name and its text signature (what
// inspect.signature and help() show) from the Signature that matches its
// arguments, so each method or function is declared once; the text is made
// at compile time.
//
//   constexpr py::Signature<3> kCell{"Sheet.cell", {"row", "col", "value=None"}, 2};
//   // "cell", with the doc "cell($self, row, col, value=None)\n--\n\n"
//   auto kMethods = method_table(fastcall_entry<kCell>(sheet_cell), ...);
#pragma once

#include <Python.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

#include "module/frame/args.hpp"

namespace vellix::module {

using FastcallFunction = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames);
using VarargsFunction = PyObject* (*)(PyObject* self, PyObject* args, PyObject* kwargs);

namespace detail {

// Writes the doc of the method, function or class `sig` declares into `out`
// (when not null) and returns its length: "<method>($self, <params>)",
// "<function>(<params>)" or, for "<Class>.__new__", "<Class>(<params>)"; then
// the "\n--\n\n" that marks a text signature and the doc.
template <size_t N>
constexpr size_t write_doc(const py::Signature<N>& sig, char* out) {
  size_t n = 0;
  auto put = [&](std::string_view s) {
    for (char c : s) {
      if (out != nullptr) out[n] = c;
      ++n;
    }
  };
  std::string_view fname(sig.fname.text);
  size_t dot = fname.rfind('.');
  bool is_method = dot != std::string_view::npos && fname.substr(dot + 1) != "__new__";
  put(dot == std::string_view::npos ? fname : is_method ? fname.substr(dot + 1) : fname.substr(0, dot));
  put("(");
  bool first = true;
  auto param = [&](std::string_view p) {
    if (!first) put(", ");
    put(p);
    first = false;
  };
  if (is_method) param("$self");
  for (size_t i = 0; i < N; ++i) {
    bool has_default = std::string_view(sig.names[i]).find('=') != std::string_view::npos;
    if (has_default != (i >= sig.required)) throw "a parameter has a default exactly when it is not required";
    param(sig.names[i]);
  }
  if (sig.any_keywords) {
    if (N > 0) param("/");
    param("**kwargs");
  }
  put(")\n--\n\n");
  put(sig.doc);
  return n;
}

template <size_t Size>
struct DocText {
  char text[Size];
};

template <const auto& kSig>
inline constexpr auto kDoc = [] {
  DocText<write_doc(kSig, nullptr) + 1> doc{};
  write_doc(kSig, doc.text);
  return doc;
}();

// The method's or function's name: what follows the last '.'.
constexpr const char* entry_name(const char* fname) {
  const char* name = fname;
  for (const char* p = fname; *p != '\0'; ++p) {
    if (*p == '.') name = p + 1;
  }
  return name;
}

}  // namespace detail

// The doc `kSig` declares, with static storage.
template <const auto& kSig>
constexpr const char* doc_of() {
  return detail::kDoc<kSig>.text;
}

// METH_FASTCALL | METH_KEYWORDS: positional arguments by order or by name.
template <const auto& kSig>
PyMethodDef fastcall_entry(FastcallFunction f) {
  // CPython calls through the flags' signature; the cast only stores the pointer.
  return {detail::entry_name(kSig.fname.text), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)),
          METH_FASTCALL | METH_KEYWORDS, doc_of<kSig>()};
}

// METH_VARARGS | METH_KEYWORDS: an args tuple and a kwargs dict.
template <const auto& kSig>
PyMethodDef varargs_entry(VarargsFunction f) {
  return {detail::entry_name(kSig.fname.text), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f)),
          METH_VARARGS | METH_KEYWORDS, doc_of<kSig>()};
}

// METH_NOARGS: CPython refuses any argument before the entry runs.
template <const auto& kSig>
PyMethodDef noargs_entry(PyCFunction f) {
  static_assert(kSig.names.size() == 0, "a METH_NOARGS entry declares no parameter");
  return {detail::entry_name(kSig.fname.text), f, METH_NOARGS, doc_of<kSig>()};
}

inline constexpr PyMethodDef kMethodTableEnd = {nullptr, nullptr, 0, nullptr};

namespace detail {
template <class Part>
inline constexpr size_t kRowCount = 1;
template <size_t K>
inline constexpr size_t kRowCount<std::array<PyMethodDef, K>> = K;

inline size_t put_rows(PyMethodDef* out, const PyMethodDef& row) {
  *out = row;
  return 1;
}
template <size_t K>
size_t put_rows(PyMethodDef* out, const std::array<PyMethodDef, K>& rows) {
  std::copy(rows.begin(), rows.end(), out);
  return K;
}
}  // namespace detail

// A method table of rows and arrays of rows, in order, then the sentinel.
// Keep it in static storage: the type or module points into it.
template <class... Parts>
std::array<PyMethodDef, (detail::kRowCount<Parts> + ... + 1)> method_table(const Parts&... parts) {
  std::array<PyMethodDef, (detail::kRowCount<Parts> + ... + 1)> table{};
  size_t n = 0;
  ((n += detail::put_rows(table.data() + n, parts)), ...);
  return table;  // the last row stays zero: the sentinel
}

}  // namespace vellix::module
