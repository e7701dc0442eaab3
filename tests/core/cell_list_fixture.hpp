// Cell lists for the search tests: cells built from (row, column, text), the
// borrowed view the searches take, and readable forms of their answers.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pool.hpp"
#include "core/search.hpp"
#include "core/value.hpp"

namespace vellix::core::testing {

// data_type "n" types the text ("1.0" becomes a number); "s" keeps it text.
inline SharedCell make_cell(uint32_t row, uint16_t col, std::string_view text, std::string_view data_type = "n") {
  return SharedCell::make(build_cell(row, col, text, std::nullopt, data_type, std::nullopt));
}

struct PlacedCell {
  uint32_t row;
  uint16_t col;
  std::string text;
};

class CellList {
 public:
  CellList() = default;
  explicit CellList(const std::vector<PlacedCell>& placed) {
    for (const PlacedCell& s : placed) add(make_cell(s.row, s.col, s.text));
  }
  void add(SharedCell cell) { cells_.push_back(std::move(cell)); }
  // The same handle again: lists may repeat a cell.
  void repeat(size_t index) { add(cells_.at(index)); }

  // Valid until the next add.
  CellSpan span() const {
    if (view_.size() != cells_.size() || (!view_.empty() && view_.front() != &cells_.front())) {
      view_.clear();
      for (const SharedCell& c : cells_) view_.push_back(&c);
    }
    return view_;
  }
  const SharedCell& operator[](size_t i) const { return cells_.at(i); }
  size_t size() const { return cells_.size(); }

  // Positions in this list of each handle of `found`, by identity.
  std::vector<size_t> positions(const std::vector<SharedCell>& found) const {
    std::vector<size_t> out;
    size_t from = 0;
    for (const SharedCell& f : found) {
      size_t i = from;
      while (i < cells_.size() && !(cells_[i] == f)) ++i;
      out.push_back(i);
      from = i + 1;
    }
    return out;
  }
  size_t position(const SharedCell& found) const {
    if (!found) return cells_.size();
    return positions({found}).front();
  }

 private:
  std::vector<SharedCell> cells_;
  mutable std::vector<const SharedCell*> view_;
};

inline std::vector<std::string> value_texts(const std::vector<SharedCell>& cells) {
  std::vector<std::string> out;
  for (const SharedCell& c : cells) out.push_back(cell_value_text(c.read()->value));
  return out;
}

inline std::vector<Coordinate> coordinates(const std::vector<SharedCell>& cells) {
  std::vector<Coordinate> out;
  for (const SharedCell& c : cells) {
    auto r = c.read();
    out.push_back({r->row, r->column});
  }
  return out;
}

// The thread counts every order-dependent result is checked under.
inline constexpr size_t kThreadCounts[] = {1, 2, 8};

// fn's result under each of kThreadCounts.
template <class T>
std::vector<T> under_each_thread_count(const std::function<T()>& fn) {
  std::vector<T> out;
  for (size_t threads : kThreadCounts) {
    with_thread_count(threads, [&] { out.push_back(fn()); });
  }
  return out;
}

}  // namespace vellix::core::testing
