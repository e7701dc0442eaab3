// A search declared, not written: its signature, where its cells come from
// (the source), the core call, the builder of the Python answer and one
// conversion per argument the source does not take itself. Sheet's and
// ReadableSheet's search methods and the find functions of vellix.readable
// are all made so.
//
// The entry binds the arguments, makes the source (which checks and borrows
// what it must before any conversion), converts the arguments in signature
// order, each under its parameter's name, and has the source run the core
// call over its cells under its own interpreter-lock policy. With the lock
// held again it builds the answer, or raises the error of a core Result.
//
//   constexpr py::Signature<2> kSig{"find_cells_by_str", {"value", "cells"}, 2};
//   search_entry<kSig, CellListSource, core::find_cells_by_str_core, ReadableCell::new_list, text_arg>()
//
// A source is made as Source(self, bound_arguments), names how many of the
// last parameters it converts itself (kOwnParameters), and gives
// run<kSearch>(converted), the core call's answer.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <tuple>
#include <utility>

#include "core/error.hpp"
#include "module/frame/args.hpp"
#include "module/frame/entry.hpp"
#include "module/frame/method_table.hpp"
#include "module/frame/results.hpp"

namespace vellix::module {

// A text argument copied, so that the core call may run without the
// interpreter lock.
inline std::string text_arg(PyObject* o, const char* name) { return std::string(py::arg_text(o, name)); }

namespace detail {

// The parameters' names without their defaults ("start_row=None" gives
// "start_row"), as conversions name them in messages.
template <const auto& kSig>
inline constexpr auto kParameterNames = [] {
  std::array<py::detail::Name, kSig.names.size()> names{};
  for (size_t i = 0; i < names.size(); ++i) {
    for (size_t k = 0; kSig.names[i][k] != '\0' && kSig.names[i][k] != '='; ++k) names[i].text[k] = kSig.names[i][k];
  }
  return names;
}();

// A core answer as it is (not moved: the builder reads it where it stands),
// or a core Result unwrapped (its error raised).
template <class T>
T&& plain(T&& answer) {
  return std::forward<T>(answer);
}
template <class T>
T plain(core::Result<T>&& result) {
  return unwrap(std::move(result));
}

}  // namespace detail

template <const auto& kSig, class Source, auto kSearch, auto kBuild, auto... kConvert>
PyObject* search(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
  return py::entry([&] {
    auto a = kSig.match(args, nargsf, kwnames);
    Source source(self, a);
    return [&]<size_t... I>(std::index_sequence<I...>) {
      // A braced list converts left to right.
      std::tuple converted{kConvert(a[I], detail::kParameterNames<kSig>[I].text)...};
      return kBuild(detail::plain(source.template run<kSearch>(converted)));
    }
    (std::make_index_sequence<sizeof...(kConvert)>());
  });
}

// The method-table row of the search (METH_FASTCALL | METH_KEYWORDS).
template <const auto& kSig, class Source, auto kSearch, auto kBuild, auto... kConvert>
PyMethodDef search_entry() {
  static_assert(kSig.names.size() == sizeof...(kConvert) + Source::kOwnParameters,
                "every parameter has a conversion or is the source's");
  return fastcall_entry<kSig>(search<kSig, Source, kSearch, kBuild, kConvert...>);
}

}  // namespace vellix::module
