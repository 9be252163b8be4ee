#include <gtest/gtest.h>

#include "mapping/auto_mapping.h"
#include "mapping/column_headings.h"
#include "mapping/table_helpers.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"

namespace zandor {
namespace {

FieldRow fieldRow(int no, const std::string& name) {
  return {Value::integer(no), Value::text(name), Value::text("C"),
          Value::integer(30), Value::integer(0), Value::integer(0),
          Value::text(""),    Value::text(""),   Value::text("")};
}

class AutoMappingTest : public ::testing::Test {
 protected:
  void SetUp() override { state_.ui = &ui_; }

  void columns(const std::vector<std::string>& headings) {
    state_.aColumns = {noMappingRow()};
    for (std::size_t i = 0; i < headings.size(); ++i) {
      const int n = static_cast<int>(i) + 1;
      state_.aColumns.push_back(
          {Value::integer(n), Value::text(headings[i]), Value::text(EXCELSPALTE(n))});
    }
  }

  void fields(const std::vector<std::string>& names) {
    state_.aFields.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      state_.aFields.push_back(fieldRow(static_cast<int>(i) + 1, names[i]));
    }
  }

  FieldRow mappedTo(int no, const std::string& name, const std::string& caption, int column) {
    FieldRow row = fieldRow(no, name);
    row[field_slot::kColCaption] = Value::text(caption);
    row[field_slot::kColLetters] = Value::text(EXCELSPALTE(column));
    row[field_slot::kColNo] = Value::integer(column);
    return row;
  }

  test::ScriptedUi ui_;
  AppState state_;
};

TEST_F(AutoMappingTest, WithoutHeadingsNothingChanges) {
  fields({"NAME", "ORT"});
  columns({"Name", "Ort"});
  state_.lHeader = false;
  const FieldTable before = state_.aFields;
  EXPECT_FALSE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields, before);
  EXPECT_EQ(ui_.informationTexts(),
            std::vector<std::string>{"Sie haben angegeben, dass die Excel-Datei keine "
                                     "Überschriften enthält. Eine automatische Zuordnung ist "
                                     "somit nicht möglich!"});
}

TEST_F(AutoMappingTest, ExactNamesApartFromCaseAreMapped) {
  fields({"NAME", "ORT", "PLZ", "STRASSE"});
  columns({"Name", "ort", "PLZ ",
           "Stra\xdf"
           "e"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[0], mappedTo(1, "NAME", "Name", 1));
  EXPECT_EQ(state_.aFields[1], mappedTo(2, "ORT", "ort", 2));
  EXPECT_EQ(state_.aFields[2], fieldRow(3, "PLZ"));
  EXPECT_EQ(state_.aFields[3], fieldRow(4, "STRASSE"));
  EXPECT_EQ(ui_.informationTexts(),
            std::vector<std::string>{"Es wurden 2 Zuordnungen automatisch hergestellt"});

  // Running it again changes nothing and says the same.
  const FieldTable once = state_.aFields;
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields, once);
  EXPECT_EQ(ui_.informationTexts().back(), "Es wurden 2 Zuordnungen automatisch hergestellt");

  columns({"strasse"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[3], mappedTo(4, "STRASSE", "strasse", 1));
}

TEST_F(AutoMappingTest, TheLaterColumnWinsAndEveryMatchingColumnCounts) {
  fields({"NAME", "ORT"});
  columns({"Name", "x", "NAME", "name"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[0], mappedTo(1, "NAME", "name", 4));
  EXPECT_EQ(ui_.informationTexts().back(), "Es wurden 3 Zuordnungen automatisch hergestellt");
}

TEST_F(AutoMappingTest, MappingsOfUnmatchedFieldsStayAndMatchedOnesAreOverwritten) {
  fields({"NAME", "ORT"});
  state_.aFields[0] = mappedTo(1, "NAME", "Kunde", 7);
  state_.aFields[1] = mappedTo(2, "ORT", "Stadt", 8);
  columns({"x", "Ort"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[0], mappedTo(1, "NAME", "Kunde", 7));
  EXPECT_EQ(state_.aFields[1], mappedTo(2, "ORT", "Ort", 2));
}

TEST_F(AutoMappingTest, NoMatchesAndEmptyTables) {
  fields({"NAME", "ORT"});
  columns({"Vorname", "Plz"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  state_.aColumns = {noMappingRow()};
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  state_.aColumns.clear();
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  state_.aFields.clear();
  columns({"NAME"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(ui_.informationTexts(),
            std::vector<std::string>(4, "Es wurden keine Zuordnungen gefunden"));
  // The leading row's heading is never compared.
  fields({"(OHNE ZUORDNUNG)", "X"});
  columns({});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[0], fieldRow(1, "(OHNE ZUORDNUNG)"));
}

TEST_F(AutoMappingTest, ASingleFieldTableTakesPart) {
  fields({"NAME"});
  columns({"Name"});
  EXPECT_TRUE(AUTOMATISCHZUORDNEN(state_));
  EXPECT_EQ(state_.aFields[0], mappedTo(1, "NAME", "Name", 1));
  EXPECT_EQ(ui_.informationTexts().back(), "Es wurden 1 Zuordnungen automatisch hergestellt");
}

}  // namespace
}  // namespace zandor
