#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor::test {

// A program directory with its log directory and settings file, a target table, a
// spreadsheet and a scripted user, ready for an import run.
class ImportFixture : public ::testing::Test {
 protected:
  TempDir home;  // the program directory
  TempDir data;  // the business application's directory
  ScriptedUi ui;
  AppState state;
  WorkAreas areas;

  void SetUp() override;

  // Creates the table and makes its field table, every field unmapped.
  void makeTable(const std::string& name, const std::vector<NewField>& fields);
  // Writes a CSV spreadsheet (semicolons, CR LF) and points the state at it.
  void makeSheet(const std::vector<std::string>& lines);
  // Maps a field to a spreadsheet column (1 = A).
  void map(const std::string& field, int column);

  // The entries of the one log file of the run (split at CR LF).
  std::vector<std::string> logLines() const;
  std::filesystem::path logFile() const;
  // The table's records as `zandor-cli dbf dump` prints them, one string per record.
  std::vector<std::string> records() const;
};

}  // namespace zandor::test
