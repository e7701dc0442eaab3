#include "core/sheet/cell_store.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <latch>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "cell_list_fixture.hpp"
#include "core/sheet/queries.hpp"
#include "core/sheet/sheet_rows.hpp"

namespace vellix::core {
namespace {

using testing::add_random_cells;
using testing::coordinates;
using testing::make_cell;
using testing::store_of;
using Coordinates = std::vector<Coordinate>;

std::vector<SharedCell> list_of(CellSpan cells) {
  std::vector<SharedCell> out;
  for (size_t i = 0; i < cells.size(); ++i) out.push_back(cells[i]);
  return out;
}

std::vector<SharedCell> sorted_handles(const CellMap& map) { return list_of(sort_cells_by_coordinate(map)); }

// A sheet of rows × columns cells with its kept list, and a copy sharing them.
std::pair<SharedSheet, SharedSheet> grid_and_copy(SheetList& book, uint32_t rows, uint16_t columns) {
  const SharedSheet source = add_sheet_core(book, "S", "visible");
  for (uint32_t row = 1; row <= rows; ++row) {
    for (uint16_t col = 1; col <= columns; ++col) (void)cell_at(source, row, col, "v");
  }
  SharedSheet copy = copy_sheet_core(book, source);
  (void)sorted_cells(source.read()->cells);
  return {source, std::move(copy)};
}

// Runs `readers` threads that repeat `search` (true when it answered right)
// until `act`, begun once each has searched, returns; gives the number of
// wrong answers.
int wrong_answers_beside(int readers, const std::function<bool()>& search, const std::function<void()>& act) {
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::latch searched(readers);
  std::vector<std::thread> threads;
  for (int i = 0; i < readers; ++i) {
    threads.emplace_back([&] {
      bool first = true;
      while (!stop.load()) {
        if (!search()) wrong.fetch_add(1);
        if (std::exchange(first, false)) searched.count_down();
      }
    });
  }
  searched.wait();
  act();
  stop = true;
  for (std::thread& t : threads) t.join();
  return wrong.load();
}

// Enough cells for the sorts to run on the pool: the same order under any
// thread count, from the sorted list and from the range query alike.
TEST(SortedCells, ComeByRowThenColumnUnderAnyThreadCount) {
  // The corners give the keys every bit they can have.
  CellStore store = store_of({{0, 0, "v"}, {UINT32_MAX, UINT16_MAX, "v"}, {UINT32_MAX, 0, "v"}, {0, UINT16_MAX, "v"}});
  std::mt19937 rng(3);
  add_random_cells(store, 100000, rng);
  Coordinates expected;
  for (const CellEntry& entry : store.map()) expected.push_back(entry.at());
  std::sort(expected.begin(), expected.end());
  for (const auto& got :
       testing::under_each_thread_count<Coordinates>([&] { return coordinates(sorted_handles(store.map())); })) {
    EXPECT_EQ(got, expected);
  }
  std::erase_if(expected, [](Coordinate c) { return c.row < 100 || c.row > 4000 || c.column < 7 || c.column > 250; });
  for (const auto& got : testing::under_each_thread_count<Coordinates>(
           [&] { return coordinates(get_cells_by_range_core(store, 100, 4000, 7, 250)); })) {
    EXPECT_EQ(got, expected);
  }
  // Once the store keeps its list, the range query reads that instead of the map.
  EXPECT_EQ(list_of(sorted_cells(store)), sorted_handles(store.map()));
  for (const auto& got : testing::under_each_thread_count<Coordinates>(
           [&] { return coordinates(get_cells_by_range_core(store, 100, 4000, 7, 250)); })) {
    EXPECT_EQ(got, expected);
  }
}

// Readers that find no list at once build it once and all read that one,
// round after round of edits.
TEST(SortedCells, ReadersAskingAtOnceShareOneListBuiltAfterEachEdit) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  std::mt19937 rng(5);
  constexpr int kReaders = 8;
  for (int round = 0; round < 5; ++round) {
    add_random_cells(sheet.write()->cells, 20000, rng);
    const std::vector<SharedCell> expected = sorted_handles(sheet.read()->cells.map());
    std::latch together(kReaders);
    std::vector<std::vector<SharedCell>> seen(kReaders);
    std::vector<const void*> where(kReaders);
    {
      std::vector<std::jthread> readers;
      for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&, i] {
          auto r = sheet.read();
          together.arrive_and_wait();
          CellSpan list = sorted_cells(r->cells);
          seen[i] = list_of(list);
          where[i] = &list[0];
        });
      }
    }
    for (int i = 0; i < kReaders; ++i) {
      EXPECT_EQ(seen[i], expected);
      EXPECT_EQ(where[i], where[0]);
    }
  }
}

// Searches that find no list and edits that drop it, all at once: every
// search reads a whole list of the map as its read lock sees it.
TEST(SortedCells, SearchesBesideEditsReadTheListOfTheMapTheySee) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "S", "visible");
  std::mt19937 rng(11);
  add_random_cells(sheet.write()->cells, 2000, rng);
  constexpr int kReaders = 4;
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kReaders; ++i) {
    threads.emplace_back([&] {
      while (!stop.load()) {
        auto r = sheet.read();
        const CellSpan list = sorted_cells(r->cells);
        if (list_of(list) != sorted_handles(r->cells.map())) wrong.fetch_add(1);
      }
    });
  }
  for (int edit = 0; edit < 50; ++edit) add_random_cells(sheet.write()->cells, 10, rng);
  stop = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

// A copy moves the cells it shares while the source answers from its kept
// list: the range query, by key, never follows the moves, and the searches
// by the cells' own rows follow them.
TEST(SortedCells, AnswersByKeyStayExactWhileACopyMovesTheSharedCells) {
  SheetList book;
  SharedSheet source, copy;
  std::tie(source, copy) = grid_and_copy(book, 300, 4);  // named, not bound: clang 14 cannot capture bindings
  const std::vector<SharedCell> expected = map_cells_in_range(source.read()->cells.map(), {100, 2}, {140, 3});
  const int wrong = wrong_answers_beside(
      3,
      [&] {
        auto r = source.read();
        (void)sheet_find_cells_range_rows(r->cells, 100, 140);
        return get_cells_by_range_core(r->cells, 100, 140, 2, 3) == expected;
      },
      [&] {
        for (int i = 0; i < 60; ++i) delete_rows_core(*copy.write(), 1, 1);
      });
  EXPECT_EQ(wrong, 0);
}

// Searches that narrow by the cells' own positions read them without the
// cells' locks: a reader whose search spans the start of a move elsewhere
// must notice it and walk the map, whichever field the move changes. Each
// round starts a fresh pair of sheets, so that every move finds the cells at
// their keys and the readers narrowing.
TEST(SortedCells, ANarrowedSearchThatAMoveOvertakesAnswersByKey) {
  for (const bool rows : {true, false}) {
    int wrong = 0;
    for (int round = 0; round < 100; ++round) {
      SheetList book;
      SharedSheet source, copy;
      std::tie(source, copy) = grid_and_copy(book, 200, 6);
      const std::vector<SharedCell> expected = map_cells_in_range(source.read()->cells.map(), {2, 2}, {199, 5});
      wrong += wrong_answers_beside(
          2, [&] { return get_cells_by_range_core(source.read()->cells, 2, 199, 2, 5) == expected; },
          [&] {
            if (rows) {
              delete_rows_core(*copy.write(), 1, 1);
            } else {
              delete_cols_core(*copy.write(), 1, 1);
            }
          });
    }
    EXPECT_EQ(wrong, 0) << (rows ? "rows" : "columns");
  }
}

TEST(SortedCells, ACopySortsItsOwnMap) {
  CellStore source = store_of({{2, 1, "b"}, {1, 1, "a"}, {3, 1, "c"}});
  (void)sorted_cells(source);
  const CellStore copy = source;
  std::vector<SharedCell> own;
  for (uint32_t row : {1, 2, 3}) own.push_back(sheet_find_cell_by_coords(copy, row, 1));
  EXPECT_EQ(list_of(sorted_cells(copy)), own);
}

// A store gives its cells back in position order, with or without a kept
// list: each count it held goes back once, so cells held elsewhere (a
// caller's handle, a copied store) live on with the right count.
TEST(SortedCells, ADroppedStoreGivesBackEachOfItsCountsOnce) {
  for (bool kept : {false, true}) {
    std::mt19937 rng(11);
    std::vector<SharedCell> held;
    std::optional<CellStore> copy;
    {
      CellStore store;
      add_random_cells(store, 20000, rng);
      for (const CellEntry& entry : store.map()) held.push_back(entry.handle());
      copy.emplace(store);
      (void)sorted_cells(*copy);
      if (kept) (void)sorted_cells(store);
    }
    for (const SharedCell& cell : held) EXPECT_EQ(cell.use_count(), 2u) << kept;  // ours and the copy's
    copy.reset();
    for (const SharedCell& cell : held) {
      EXPECT_EQ(cell.use_count(), 1u) << kept;
      EXPECT_EQ(cell_value_text(cell.read()->value), "v");
    }
  }
}

// Moves made elsewhere, before or after the sheet searched built its kept
// list: its narrowed searches (by row, and by key for the range query) must
// answer as a walk of every cell does, whether or not the cells it shares
// stand at its keys any more.
struct MoveElsewhere {
  std::string name;
  bool searched_before;  // the kept list was built before the move
  std::function<void(SheetList&, const SharedSheet& source)> move;
};
void PrintTo(const MoveElsewhere& m, std::ostream* out) { *out << m.name; }

class SharingSheet : public ::testing::TestWithParam<MoveElsewhere> {};

TEST_P(SharingSheet, RangeSearchesAnswerAsAFullWalkAfterMovesElsewhere) {
  constexpr uint32_t kRows = 400;
  constexpr uint16_t kCols = 6;
  SheetList book;
  const SharedSheet source = add_sheet_core(book, "S", "visible");
  for (uint32_t row = 1; row <= kRows; ++row) {
    for (uint16_t col = 1; col <= kCols; ++col) (void)cell_at(source, row, col, row % 3 == 0 ? "v" : "w");
  }
  auto check = [&](const std::string& when) {
    const auto r = source.read();
    const CellStore& store = r->cells;
    const CellSpan all = sorted_cells(store);
    for (const auto& [low, high] : {std::pair<uint32_t, uint32_t>{2, 5}, {1, 1}, {150, 260}, {kRows, kRows + 9}}) {
      EXPECT_EQ(sheet_find_cells_range_rows(store, low, high), find_cells_range_rows_core(low, high, all))
          << when << " rows " << low << ".." << high;
      EXPECT_EQ(sheet_find_cells_for_cols_by_regex(store, "v", high).value(),
                find_cells_for_cols_by_regex_core("v", high, all).value())
          << when << " row stop " << high;
      EXPECT_EQ(get_cells_by_range_core(store, low, high, 2, 4), map_cells_in_range(store.map(), {low, 2}, {high, 4}))
          << when << " range " << low << ".." << high;
    }
  };
  if (GetParam().searched_before) check("before");
  GetParam().move(book, source);
  check("after");
  check("again");  // from what the first search after the move found
}

INSTANTIATE_TEST_SUITE_P(
    Moves, SharingSheet,
    ::testing::ValuesIn([] {
      std::vector<MoveElsewhere> all;
      const std::pair<std::string, std::function<void(CoreSheet&)>> moves[] = {
          {"Rows", [](CoreSheet& w) { delete_rows_core(w, 100, 7); }},
          {"Columns", [](CoreSheet& w) { delete_cols_core(w, 2, 1); }},
      };
      for (bool before : {true, false}) {
        const std::string when = before ? "AfterASearch" : "BeforeAnySearch";
        for (const auto& [what, move] : moves) {
          all.push_back({what + "DeletedInACopy" + when, before, [move](SheetList& book, const SharedSheet& s) {
                           move(*copy_sheet_core(book, s).write());
                         }});
          // Another sheet's cells moved: these stand at their keys, and the
          // narrowed search must still be taken (and right).
          all.push_back({what + "DeletedInAnotherSheet" + when, before, [move](SheetList& book, const SharedSheet&) {
                           const SharedSheet other = add_sheet_core(book, "O", "visible");
                           for (uint32_t row = 1; row <= 200; ++row) (void)cell_at(other, row, 3, "o");
                           move(*other.write());
                         }});
        }
      }
      // Shared cells moved, then the source changed: its new list is built
      // over cells that no longer stand at its keys.
      all.push_back({"RowsDeletedInACopyThenACellAdded", true, [](SheetList& book, const SharedSheet& s) {
                       delete_rows_core(*copy_sheet_core(book, s).write(), 1, 3);
                       (void)cell_at(s, 1000, 1, "v");
                     }});
      return all;
    }()),
    [](const ::testing::TestParamInfo<MoveElsewhere>& info) { return info.param.name; });

// Each way a sheet's cell map changes, and the positions of the cells it
// leaves, by row then column. The sheet had cells at rows 1 to 3, columns 1
// and 2, and a kept list and extent, before the change.
struct MapChange {
  std::string name;
  std::function<SharedSheet(SheetList&, const SharedSheet&)> change;  // gives the sheet to search
  Coordinates left;
};
void PrintTo(const MapChange& change, std::ostream* out) { *out << change.name; }

const Coordinates kGrid = {{1, 1}, {1, 2}, {2, 1}, {2, 2}, {3, 1}, {3, 2}};

Coordinates grid_and(std::vector<Coordinate> more) {
  Coordinates all = kGrid;
  all.insert(all.end(), more.begin(), more.end());
  std::sort(all.begin(), all.end());
  return all;
}

Coordinates grid_without(Coordinate gone) {
  Coordinates all = kGrid;
  std::erase(all, gone);
  return all;
}

// Runs `edit` under the sheet's write lock and gives the sheet back.
SharedSheet edited(const SharedSheet& sheet, const std::function<void(CoreSheet&)>& edit) {
  edit(*sheet.write());
  return sheet;
}

class KeptList : public ::testing::TestWithParam<MapChange> {};

TEST_P(KeptList, EveryChangeOfTheMapDropsItAndTheNextSearchSeesTheChange) {
  SheetList book;
  const SharedSheet sheet = add_sheet_core(book, "Data", "visible");
  for (const Coordinate at : kGrid) (void)cell_at(sheet, at.row, at.column, "v");
  {
    auto r = sheet.read();
    (void)sheet_find_cells_range_rows(r->cells, 1, 3);
    (void)sheet_max_row(r->cells);
    ASSERT_TRUE(r->cells.kept_list().ready.load());
    ASSERT_NE(r->cells.kept_extent().packed.load(), KeptExtent::kUnknown);
  }
  const SharedSheet searched = GetParam().change(book, sheet);
  const auto r = searched.read();
  // Asserted, not expected: a list kept past the change may borrow handles the map dropped.
  ASSERT_FALSE(r->cells.kept_list().ready.load());
  EXPECT_EQ(r->cells.kept_extent().packed.load(), KeptExtent::kUnknown);
  EXPECT_EQ(coordinates(sheet_find_cells_range_rows(r->cells, 0, UINT32_MAX)), GetParam().left);
  EXPECT_EQ(list_of(sorted_cells(r->cells)), sorted_handles(r->cells.map()));
  const Coordinate last = GetParam().left.back();
  EXPECT_EQ(sheet_max_row(r->cells), last.row);
  EXPECT_EQ(sheet_max_column(r->cells), std::ranges::max(GetParam().left, {}, &Coordinate::column).column);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPath, KeptList,
    ::testing::Values(MapChange{"NewCell",
                                [](SheetList&, const SharedSheet& s) { return (void)cell_at(s, 5, 3, "w"), s; },
                                grid_and({{5, 3}})},
                      MapChange{"ReplacedCell",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) {
                                    (void)cell_map_insert(w.cells.edit(), 2, 1, make_cell(2, 1, "x"));
                                  });
                                },
                                kGrid},
                      MapChange{"RemovedCell",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) { w.cells.edit().erase(Coordinate{2, 2}); });
                                },
                                grid_without({2, 2})},
                      // As many cells as before: a count of them cannot tell the list is stale.
                      MapChange{"RemovedThenNewCell",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) {
                                    CellMap& map = w.cells.edit();
                                    map.erase(Coordinate{3, 2});
                                    (void)cell_map_insert(map, 7, 1, make_cell(7, 1, "x"));
                                  });
                                },
                                [] {
                                  Coordinates left = grid_without({3, 2});
                                  left.push_back({7, 1});
                                  return left;
                                }()},
                      MapChange{"DeletedRows",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) { delete_rows_core(w, 2, 1); });
                                },
                                Coordinates{{1, 1}, {1, 2}, {2, 1}, {2, 2}}},
                      MapChange{"DeletedColumns",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) { delete_cols_core(w, 1, 1); });
                                },
                                Coordinates{{1, 1}, {2, 1}, {3, 1}}},
                      MapChange{"ReplacedStore",
                                [](SheetList&, const SharedSheet& s) {
                                  return edited(s, [](CoreSheet& w) {
                                    CellMap map;
                                    (void)cell_map_insert(map, 4, 4, make_cell(4, 4, "x"));
                                    w.cells = CellStore(std::move(map));
                                  });
                                },
                                Coordinates{{4, 4}}},
                      MapChange{"NewCellInACopy",
                                [](SheetList& book, const SharedSheet& s) {
                                  SharedSheet copy = copy_sheet_core(book, s);
                                  (void)cell_at(copy, 0, 9, "w");
                                  return copy;
                                },
                                grid_and({{0, 9}})}),
    [](const ::testing::TestParamInfo<MapChange>& info) { return info.param.name; });

}  // namespace
}  // namespace vellix::core
