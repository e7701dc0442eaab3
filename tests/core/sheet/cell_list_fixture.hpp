// Cell lists for the search tests: cells built from (row, column, text), the
// borrowed view the searches take, and readable forms of their answers.
#pragma once

#include <deque>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/search/pool.hpp"
#include "core/search/search.hpp"
#include "core/sheet/sheet.hpp"
#include "core/value/value.hpp"

namespace vellix::core::testing {

// data_type "n" types the text ("1.0" becomes a number); "s" keeps it text.
inline SharedCell make_cell(uint32_t row, uint16_t col, std::string_view text, std::string_view data_type = "n") {
  return SharedCell::make(build_cell(row, col, text, std::nullopt, data_type, std::nullopt));
}

// (row, column, text)
using PlacedCell = std::tuple<uint32_t, uint16_t, std::string>;

// Owns its cells (a deque, so the borrowed view stays valid as it grows).
class CellList {
 public:
  CellList(const std::vector<PlacedCell>& placed = {}) {
    for (const auto& [row, col, text] : placed) add(make_cell(row, col, text));
  }
  void add(SharedCell cell) {
    cells_.push_back(std::move(cell));
    view_.push_back(&cells_.back());
  }
  CellSpan span() const { return view_; }
  const SharedCell& operator[](size_t i) const { return cells_.at(i); }

  // Where each handle of `found` stands in this list, by identity, each
  // looked for after the previous one (so a repeated handle maps to its next
  // place); size() for a null handle.
  std::vector<size_t> positions(const std::vector<SharedCell>& found) const {
    std::vector<size_t> out;
    size_t i = 0;
    for (const SharedCell& f : found) {
      while (i < cells_.size() && !(cells_[i] == f)) ++i;
      out.push_back(i++);
    }
    return out;
  }
  size_t position(const SharedCell& found) const { return found ? positions({found}).front() : cells_.size(); }

 private:
  std::deque<SharedCell> cells_;
  std::vector<const SharedCell*> view_;
};

inline std::vector<Coordinate> coordinates(const std::vector<SharedCell>& cells) {
  std::vector<Coordinate> out;
  for (const SharedCell& c : cells) {
    auto r = c.read();
    out.push_back({r->row, r->column});
  }
  return out;
}

// A store of cells typed as data_type "n".
inline CellStore store_of(const std::vector<testing::PlacedCell>& cells) {
  CellStore store;
  for (const auto& [row, col, text] : cells) (void)cell_map_insert(store.edit(), row, col, make_cell(row, col, text));
  return store;
}

// Adds `count` cells at random new places of the sheet; caller holds its write lock.
inline void add_random_cells(CellStore& store, size_t count, std::mt19937& rng) {
  const size_t target = store.map().size() + count;
  while (store.map().size() < target) {
    const Coordinate at{static_cast<uint32_t>(rng() % 5000 + 1), static_cast<uint16_t>(rng() % 300 + 1)};
    if (store.map().contains(at)) continue;
    (void)cell_map_insert(store.edit(), at.row, at.column, make_cell(at.row, at.column, "v"));
  }
}

// fn's result with 1, 2 and 8 threads: what depends on order must not vary.
template <class T>
std::vector<T> under_each_thread_count(const std::function<T()>& fn) {
  std::vector<T> out;
  for (size_t threads : {1, 2, 8}) with_thread_count(threads, [&] { out.push_back(fn()); });
  return out;
}

}  // namespace vellix::core::testing
