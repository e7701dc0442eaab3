#include "core/value/value.hpp"

#include <cassert>
#include <chrono>
#include <cstring>
#include <new>
#include <utility>

#include "core/error.hpp"
#include "core/sync/block_pool.hpp"
#include "core/sync/fork.hpp"
#include "core/sync/never_destroyed.hpp"

namespace vellix::core {

bool valid_date(int32_t year, unsigned month, unsigned day) {
  if (year < kMinYear || year > kMaxYear) return false;
  const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
  return ymd.ok();
}

CellValue CellValue::string(std::string_view s) {
  CellValue v;
  v.rep_[0] = static_cast<unsigned char>(ValueKind::String);
  if (s.size() <= kInlineStringSize) {
    v.rep_[1] = static_cast<unsigned char>(s.size());
    if (!s.empty()) std::memcpy(v.rep_ + 2, s.data(), s.size());
  } else {
    v.rep_[1] = kLongString;
    ::new (v.rep_ + kPayload) Text(s);
  }
  return v;
}

CellValue CellValue::number(double d) noexcept {
  CellValue v;
  v.rep_[0] = static_cast<unsigned char>(ValueKind::Number);
  v.store(kPayload, d);
  return v;
}

CellValue CellValue::integer(int32_t i) noexcept {
  CellValue v;
  v.rep_[0] = static_cast<unsigned char>(ValueKind::Integer);
  v.store(kPayload, i);
  return v;
}

CellValue CellValue::boolean(bool b) noexcept {
  CellValue v;
  v.rep_[0] = static_cast<unsigned char>(ValueKind::Bool);
  v.rep_[kPayload] = b ? 1 : 0;
  return v;
}

CellValue CellValue::datetime(const DateTime& dt) noexcept {
  CellValue v;
  v.rep_[0] = static_cast<unsigned char>(ValueKind::DateTime);
  v.rep_[1] = dt.month;
  v.rep_[2] = dt.day;
  v.store(4, dt.year);
  v.store(kPayload, dt.secs);
  v.store(kPayload + 4, dt.nanos);
  return v;
}

// A long String's Text is the only part that is not plain bytes.
CellValue::CellValue(const CellValue& o) {
  std::memcpy(rep_, o.rep_, sizeof rep_);
  if (o.holds_text()) ::new (rep_ + kPayload) Text(o.text());
}

CellValue& CellValue::operator=(const CellValue& o) {
  if (this != &o) *this = CellValue(o);
  return *this;
}

std::string_view CellValue::as_string() const noexcept {
  assert(kind() == ValueKind::String);
  if (rep_[1] == kLongString) return text().view();
  return {reinterpret_cast<const char*>(rep_ + 2), rep_[1]};
}

DateTime CellValue::as_datetime() const noexcept {
  assert(kind() == ValueKind::DateTime);
  return DateTime{load<int32_t>(4), rep_[1], rep_[2], load<uint32_t>(kPayload), load<uint32_t>(kPayload + 4)};
}

char data_type_letter(const CellValue& v) noexcept {
  static constexpr char kLetters[] = {'s', 's', 'n', 'n', 'b', 'd'};
  return kLetters[static_cast<uint8_t>(v.kind())];
}

namespace {
constexpr size_t kCellBlockSize = BlockSource<CoreCell>::kBlockSize;
static_assert(sizeof(RwLock) + sizeof(std::atomic<uint32_t>) + sizeof(CoreCell) == kCellBlockSize);
// A cell may still be dropped while the process exits.
constinit NeverDestroyed<BlockPool> g_cell_blocks(kCellBlockSize);
[[maybe_unused]] const int kCellBlocksForkSafe =
    hold_across_fork([] { g_cell_blocks->lock(); }, [] { g_cell_blocks->unlock(); });
}  // namespace

void* BlockSource<CoreCell>::allocate(size_t size) {
  if (size != kCellBlockSize) throw InternalFailure("a cell's block is not the pool's size");
  return g_cell_blocks->allocate();
}

void BlockSource<CoreCell>::free(void* block) noexcept { g_cell_blocks->free(block); }

void BlockSource<CoreCell>::free_many(void* const* blocks, size_t n) noexcept { g_cell_blocks->free_many(blocks, n); }

std::pair<uintptr_t, uintptr_t> BlockSource<CoreCell>::address_span() { return g_cell_blocks->address_span(); }

CoreCell::CoreCell(uint32_t row, uint16_t column, CellValue value, Text formula, Text data_type, Text style_id,
                   Text hidden_value)
    : row(row), column(column), value(std::move(value)) {
  set_cell_data_type(*this, data_type.view());
  set_cell_text(*this, &CellExtras::formula, std::move(formula));
  set_cell_text(*this, &CellExtras::style_id, std::move(style_id));
  set_cell_text(*this, &CellExtras::hidden_value, std::move(hidden_value));
}

const Text& cell_text(const CoreCell& cell, Text CellExtras::*field) noexcept {
  static const NeverDestroyed<Text> kNone;
  return cell.extras ? (*cell.extras).*field : *kNone;
}

namespace {
// Drops the extras once they hold no text, so a cell that loses its last
// one is back to its bare 32 bytes.
void drop_empty_extras(CoreCell& cell) noexcept {
  const CellExtras& e = *cell.extras;
  if (!e.formula.has_value() && !e.style_id.has_value() && !e.hidden_value.has_value() && !e.data_type.has_value()) {
    cell.extras.reset();
  }
}
}  // namespace

void set_cell_text(CoreCell& cell, Text CellExtras::*field, Text text) {
  if (!cell.extras) {
    if (!text.has_value()) return;
    cell.extras = std::make_unique<CellExtras>();
  }
  (*cell.extras).*field = std::move(text);
  drop_empty_extras(cell);
}

std::string_view cell_data_type(const CoreCell& cell) noexcept {
  if (cell.type_letter != 0) return {&cell.type_letter, 1};
  return cell.extras->data_type.view();
}

void set_cell_data_type(CoreCell& cell, std::string_view data_type) {
  if (data_type.size() == 1 && data_type[0] != 0) {
    if (cell.type_letter == 0) set_cell_text(cell, &CellExtras::data_type, Text());
    cell.type_letter = data_type[0];
  } else {
    set_cell_text(cell, &CellExtras::data_type, Text(data_type));
    cell.type_letter = 0;
  }
}

}  // namespace vellix::core
