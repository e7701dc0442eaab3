#include "core/cell_edit.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vellix::core {
namespace {

// A cell with a formula, a style and a hidden value, holding `value` typed as `data_type`.
CoreCell formula_cell(CellValue value, char data_type) {
  return CoreCell{1, 1, std::move(value), Text("=A1"), Text::letter(data_type), Text("s1"), Text("h")};
}

struct StoreCase {
  CellValue value;
  std::string data_type;
};

class StoreValueTest : public testing::TestWithParam<StoreCase> {};

TEST_P(StoreValueTest, RetypesDropsTheFormulaAndKeepsStyleAndHiddenValue) {
  CoreCell c = formula_cell(CellValue::string("old"), 'f');
  store_cell_value(c, GetParam().value);
  EXPECT_EQ(c.value.kind(), GetParam().value.kind());
  EXPECT_EQ(c.data_type.view(), GetParam().data_type);
  EXPECT_FALSE(c.formula.has_value());
  EXPECT_FALSE(cell_is_formula(c));
  EXPECT_EQ(c.style_id.view(), "s1");
  EXPECT_EQ(c.hidden_value.view(), "h");
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoreValueTest,
                         testing::Values(StoreCase{CellValue::empty(), "s"}, StoreCase{CellValue::string("x"), "s"},
                                         StoreCase{CellValue::number(1.5), "n"}, StoreCase{CellValue::integer(2), "n"},
                                         StoreCase{CellValue::boolean(true), "b"},
                                         StoreCase{CellValue::datetime(DateTime{}), "d"}));

TEST(CellEdit, FormulaKeepsTheValueAndAnEmptyFormulaStillCounts) {
  CoreCell c{1, 1, CellValue::integer(7), Text(), Text::letter('n'), Text(), Text()};
  store_cell_formula(c, "");
  EXPECT_TRUE(cell_is_formula(c));
  EXPECT_EQ(c.value.as_integer(), 7);
  EXPECT_EQ(c.data_type.view(), "f");
}

TEST(CellEdit, FormulaCellNeedsBothTheFormulaAndTheLetter) {
  EXPECT_TRUE(cell_is_formula(formula_cell(CellValue::integer(1), 'f')));
  EXPECT_FALSE(cell_is_formula(formula_cell(CellValue::integer(1), 'n')));
  CoreCell no_formula{1, 1, CellValue::integer(1), Text(), Text::letter('f'), Text(), Text()};
  EXPECT_FALSE(cell_is_formula(no_formula));
}

TEST(CellEdit, TouchMarksPlainCellsAsTextAndLeavesFormulaCellsAlone) {
  CoreCell plain = formula_cell(CellValue::number(2.5), 'n');
  plain.formula = Text();
  touch_cell(plain);
  EXPECT_EQ(plain.data_type.view(), "s");
  EXPECT_EQ(plain.value.as_number(), 2.5);

  CoreCell formula = formula_cell(CellValue::number(2.5), 'f');
  touch_cell(formula);
  EXPECT_EQ(formula.data_type.view(), "f");
  EXPECT_EQ(formula.formula.view(), "=A1");
}

}  // namespace
}  // namespace vellix::core
