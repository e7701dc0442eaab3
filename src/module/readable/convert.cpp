#include "module/readable/convert.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/sync/stack_room.hpp"
#include "module/frame/args.hpp"
#include "module/frame/object.hpp"
#include "module/frame/ref.hpp"
#include "module/readable/classes.hpp"

namespace vellix::module {

namespace {

using py::Ref;

// Python code run while reading (a property, str()) may shrink or grow the
// list: read only below both its current and its starting length, and hold
// each item while it is read, since that code may also drop it from the list.
template <class F>
void for_each_list_item(PyObject* list, F&& f) {
  const Py_ssize_t start = PyList_GET_SIZE(list);
  for (Py_ssize_t i = 0; i < start && i < PyList_GET_SIZE(list); ++i) {
    Ref item = Ref::borrow(PyList_GET_ITEM(list, i));
    f(item.get());
  }
}

// Nested lists recurse on the C stack (reading them, writing their text and
// freeing them); a list that holds itself would never end. The interpreter's
// limit alone can be raised past what the stack holds, and on 3.11 it is the
// only one Py_EnterRecursiveCall applies, so a fixed bound stands beside it,
// and the room left on the stack besides: a thread may have as little as
// 32 KiB of it.
thread_local int t_value_depth = 0;
// What one more level, the str() of an item in it, throwing from there, and
// the writing and freeing of the value afterwards may take.
constexpr size_t kValueLevelStackRoom = (size_t{16} << 10) * core::kStackRoomFactor;

class RecursionGuard {
 public:
  RecursionGuard() {
    if (t_value_depth >= kMaxValueDepth || core::stack_room() < kValueLevelStackRoom) {
      py::throw_error(PyExc_RecursionError, "maximum recursion depth exceeded while reading a value");
    }
    if (Py_EnterRecursiveCall(" while reading a value")) py::throw_pending();
    ++t_value_depth;
  }
  ~RecursionGuard() {
    --t_value_depth;
    Py_LeaveRecursiveCall();
  }
  RecursionGuard(const RecursionGuard&) = delete;  // one leave per enter
  RecursionGuard& operator=(const RecursionGuard&) = delete;
};

// A str()'s text taken leniently: lone surrogates pass through the encoder
// as their three-byte forms, and each of those bytes becomes one U+FFFD, as a
// replacing UTF-8 decoder reads them.
std::string lenient_utf8(PyObject* s) {
  Py_ssize_t n = 0;
  if (const char* p = PyUnicode_AsUTF8AndSize(s, &n)) return std::string(p, static_cast<size_t>(n));
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) py::throw_pending();
  PyErr_Clear();
  Ref bytes = Ref::steal(PyUnicode_AsEncodedString(s, "utf-8", "surrogatepass"));
  if (!bytes) py::throw_pending();
  std::string_view raw(PyBytes_AS_STRING(bytes.get()), static_cast<size_t>(PyBytes_GET_SIZE(bytes.get())));
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(raw.size() * 3);
  for (size_t i = 0; i < raw.size(); ++i) {
    // Surrogates U+D800..U+DFFF encode as ED A0..BF 80..BF; nothing else in
    // the encoder's output is invalid.
    const auto b1 = static_cast<unsigned char>(raw[i]);
    if (b1 == 0xED && i + 2 < raw.size() && static_cast<unsigned char>(raw[i + 1]) >= 0xA0) {
      out.append(kReplacement).append(kReplacement).append(kReplacement);
      i += 2;
    } else {
      out.push_back(raw[i]);
    }
  }
  return out;
}

std::string str_utf8(PyObject* o) {
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(o, &n);
  if (p == nullptr) py::throw_pending();
  return std::string(p, static_cast<size_t>(n));
}

void append_value_text(const ExtractedValue& v, std::string& out) {
  std::visit(
      [&out](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) {
          out += x;
        } else if constexpr (std::is_same_v<T, int64_t>) {
          core::append_decimal(x, out);
        } else if constexpr (std::is_same_v<T, double>) {
          core::append_number_text(x, out);
        } else if constexpr (std::is_same_v<T, bool>) {
          out += x ? "true" : "false";
        } else if constexpr (std::is_same_v<T, ExtractedValue::List>) {
          out += '[';
          for (size_t i = 0; i < x.size(); ++i) {
            if (i > 0) out += ", ";
            append_value_text(x[i], out);
          }
          out += ']';
        }
      },
      v.v);
}

// An unsigned decimal: one optional "+", then ASCII digits only, within the
// target's range; anything else gives 0.
template <class U>
U parse_unsigned(std::string_view s) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return 0;
  U out = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), out, 10);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
  return out;
}

template <class U>
U value_to_unsigned(const ExtractedValue& v) {
  return std::visit(
      [](const auto& x) -> U {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return parse_unsigned<U>(x);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return static_cast<U>(static_cast<uint64_t>(x));  // the low bits, two's complement
        } else if constexpr (std::is_same_v<T, double>) {
          if (std::isnan(x) || x <= 0.0) return 0;
          constexpr double kMax = static_cast<double>(std::numeric_limits<U>::max());
          if (x >= kMax) return std::numeric_limits<U>::max();
          return static_cast<U>(x);
        } else if constexpr (std::is_same_v<T, bool>) {
          return x ? 1 : 0;
        } else {
          return 0;
        }
      },
      v.v);
}

// The fixed key names, made once (the module lives in one interpreter only).
enum Key { kRow, kColumn, kValue, kFormula, kDataType, kStyleId, kName, kSheetState, kMergeCells, kCells, kKeyCount };

PyObject* key_name(Key k) {
  static PyObject* names[kKeyCount] = {};
  if (names[k] == nullptr) {
    static constexpr const char* kText[kKeyCount] = {"row",      "column", "value",       "formula",     "data_type",
                                                     "style_id", "name",   "sheet_state", "merge_cells", "cells"};
    names[k] = PyUnicode_InternFromString(kText[k]);
    if (names[k] == nullptr) py::throw_api_failure();
  }
  return names[k];
}

// The key access rule: obj[key] for a dict or dict subclass, getattr otherwise.
Ref read_key(PyObject* o, Key k) {
  PyObject* key = key_name(k);
  PyObject* r = py::parking_on_exit([&] {  // a lookup or property may be Python code
    return PyDict_Check(o) ? PyObject_GetItem(o, key) : PyObject_GetAttr(o, key);
  });
  if (r == nullptr) py::throw_pending();
  return Ref::steal(r);
}

template <class T>
ExtractedValue extracted(T x) {
  ExtractedValue out;
  out.v.template emplace<T>(std::move(x));
  return out;
}

ExtractedValue read_value(PyObject* o, Key k) {
  Ref r = read_key(o, k);
  return value_from_pyobject(r.get());
}

std::optional<std::string_view> view_of(const std::optional<std::string>& s) {
  if (!s) return std::nullopt;
  return std::string_view(*s);
}

}  // namespace

ExtractedValue value_from_pyobject(PyObject* o) {
  if (o == Py_None) return extracted(ExtractedValue::None{});
  if (PyBool_Check(o)) return extracted(o == Py_True);
  if (PyLong_Check(o)) {
    long long n = PyLong_AsLongLong(o);
    if (n == -1 && PyErr_Occurred()) py::throw_pending();
    return extracted(static_cast<int64_t>(n));
  }
  if (PyFloat_Check(o)) {
    if (PyFloat_CheckExact(o)) return extracted(PyFloat_AS_DOUBLE(o));
    double d = PyFloat_AsDouble(o);
    if (d == -1.0 && PyErr_Occurred()) py::throw_pending();
    return extracted(d);
  }
  if (PyUnicode_Check(o)) return extracted(str_utf8(o));
  if (!PyList_Check(o)) {
    Ref s = Ref::steal(py::parking_on_exit([o] { return PyObject_Str(o); }));
    if (!s) py::throw_pending();
    return extracted(lenient_utf8(s.get()));
  }
  RecursionGuard guard;
  ExtractedValue::List items;
  items.reserve(static_cast<size_t>(PyList_GET_SIZE(o)));
  for_each_list_item(o, [&items](PyObject* item) { items.push_back(value_from_pyobject(item)); });
  return extracted(std::move(items));
}

std::string value_to_string(const ExtractedValue& v) {
  if (const auto* s = std::get_if<std::string>(&v.v)) return *s;
  std::string out;
  append_value_text(v, out);
  return out;
}

std::optional<std::string> value_to_optional_string(const ExtractedValue& v) {
  if (std::holds_alternative<ExtractedValue::None>(v.v)) return std::nullopt;
  return value_to_string(v);
}

uint32_t value_to_u32(const ExtractedValue& v) { return value_to_unsigned<uint32_t>(v); }
uint16_t value_to_u16(const ExtractedValue& v) { return value_to_unsigned<uint16_t>(v); }

std::vector<core::MergedRange> merge_ranges_from_value(const ExtractedValue& v) {
  std::vector<core::MergedRange> out;
  const auto* items = std::get_if<ExtractedValue::List>(&v.v);
  if (items == nullptr) return out;
  out.reserve(items->size());
  for (const ExtractedValue& item : *items) {
    uint32_t n[4] = {0, 0, 0, 0};
    if (const auto* parts = std::get_if<ExtractedValue::List>(&item.v)) {
      for (size_t i = 0; i < 4 && i < parts->size(); ++i) n[i] = value_to_u32((*parts)[i]);
    } else {
      n[0] = value_to_u32(item);
    }
    // A merge column is read as a row number and then cut to 16 bits.
    out.push_back({n[0], n[1], static_cast<uint16_t>(n[2]), static_cast<uint16_t>(n[3])});
  }
  return out;
}

core::SharedCell cell_from_pyobject(PyObject* o) {
  const uint32_t row = value_to_u32(read_value(o, kRow));
  const uint16_t column = value_to_u16(read_value(o, kColumn));
  const std::optional<std::string> value = value_to_optional_string(read_value(o, kValue));
  const std::optional<std::string> formula = value_to_optional_string(read_value(o, kFormula));
  const std::string data_type = value_to_string(read_value(o, kDataType));
  const std::optional<std::string> style_id = value_to_optional_string(read_value(o, kStyleId));
  return core::SharedCell::make(
      core::build_cell(row, column, view_of(value), view_of(formula), data_type, view_of(style_id)));
}

core::CoreSheet sheet_from_pyobject(PyObject* o) {
  core::CoreSheet sheet;
  sheet.name = value_to_string(read_value(o, kName));
  sheet.sheet_state = value_to_string(read_value(o, kSheetState));
  sheet.merge_cells = merge_ranges_from_value(read_value(o, kMergeCells));
  Ref cells = read_key(o, kCells);
  if (!PyList_Check(cells.get())) py::throw_cast_error(cells.get(), "list");
  core::CellMap map;
  map.reserve(static_cast<size_t>(PyList_GET_SIZE(cells.get())));
  for_each_list_item(cells.get(), [&map](PyObject* item) {
    core::SharedCell cell = cell_from_pyobject(item);
    uint32_t row;
    uint16_t column;
    {
      auto r = cell.read();
      row = r->row;
      column = r->column;
    }
    core::cell_map_insert(map, row, column, std::move(cell));  // a replaced handle is released here
  });
  sheet.cells = core::CellStore(std::move(map));
  return sheet;
}

std::vector<core::SharedCell> cells_from_pylist(PyObject* list) {
  PyTypeObject* readable_cell = ReadableCell::type_object();
  std::vector<core::SharedCell> out;
  out.reserve(static_cast<size_t>(PyList_GET_SIZE(list)));
  for_each_list_item(list, [&](PyObject* item) {
    if (Py_TYPE(item) == readable_cell) {
      auto& obj = *reinterpret_cast<ReadableCell::Object*>(item);
      py::SharedBorrow borrow(obj.borrow);
      out.push_back(obj.payload);
    } else {
      out.push_back(cell_from_pyobject(item));
    }
  });
  return out;
}

SheetSnapshotWalk::SheetSnapshotWalk(PyObject* sheets) noexcept : list(sheets), start_length(PyList_GET_SIZE(sheets)) {}

std::optional<core::CoreSheet> next_sheet_snapshot(SheetSnapshotWalk& walk) {
  if (walk.error || walk.next >= walk.start_length || walk.next >= PyList_GET_SIZE(walk.list)) return std::nullopt;
  Ref item = Ref::borrow(PyList_GET_ITEM(walk.list, walk.next));
  ++walk.next;
  try {
    // The converted sheet is new and held by nothing else, so it is yielded
    // as it is rather than copied out of a temporary shared handle.
    return sheet_from_pyobject(item.get());
  } catch (py::PyError& e) {
    walk.error = std::move(e);
    return std::nullopt;
  }
}

}  // namespace vellix::module
