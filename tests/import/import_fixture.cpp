#include "import/import_fixture.h"

#include <sstream>

#include "app/startup.h"
#include "base/encoding.h"
#include "base/text.h"
#include "mapping/structure_readers.h"

namespace zandor::test {

namespace fs = std::filesystem;

void ImportFixture::SetUp() {
  state.ui = &ui;
  startProgram(state, (home.path() / "zandor").string());
  state.ui = &ui;
  state.nStopColumn = 1;
}

void ImportFixture::makeTable(const std::string& name, const std::vector<NewField>& fields) {
  state.cDbfFile = (data.path() / name).string();
  createTable(state.cDbfFile, fields);
  state.oSettings->Set("dBase", "dbf1", Value::text(state.cDbfFile));
  state.aFields = STRUCSDBF(state, areas);
  ASSERT_EQ(state.aFields.size(), fields.size());
}

void ImportFixture::makeSheet(const std::vector<std::string>& lines) {
  std::string content;
  for (const std::string& line : lines) content += line + "\r\n";
  state.cXlsFile = (data.path() / "liste.csv").string();
  writeBytes(state.cXlsFile, content);
}

void ImportFixture::map(const std::string& field, int column) {
  for (FieldRow& row : state.aFields) {
    if (row[field_slot::kFieldName] == Value::text(field)) {
      row[field_slot::kColNo] = Value::integer(column);
      return;
    }
  }
  FAIL() << "no field " << field;
}

fs::path ImportFixture::logFile() const {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(home.path() / "log")) files.push_back(entry);
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? fs::path() : files.front();
}

std::vector<std::string> ImportFixture::logLines() const {
  const std::string text = cp1252ToUtf8(readBytes(logFile()));
  std::vector<std::string> lines;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t next = text.find("\r\n", pos);
    lines.push_back(text.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
    if (next == std::string::npos) break;
    pos = next + 2;
  }
  return lines;
}

std::vector<std::string> ImportFixture::records() const {
  std::string out;
  const int status = runCommand("'" + cliPath() + "' dbf dump '" + state.cDbfFile + "'", &out);
  EXPECT_EQ(status, 0);
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace zandor::test
