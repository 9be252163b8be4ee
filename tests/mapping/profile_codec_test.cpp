#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "app/startup.h"
#include "base/date.h"
#include "mapping/column_headings.h"
#include "mapping/mapping_profile.h"
#include "mapping/profile_codec.h"
#include "state/app_state.h"

namespace zandor {
namespace {

std::string hexBytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    i += 2;
  }
  return out;
}

std::string item(char type, const std::string& payload) {
  return std::string(1, type) + static_cast<char>(payload.size() & 0xFF) +
         static_cast<char>(payload.size() >> 8) + payload;
}

class ProfileCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { setProgramDateSettings(); }
};

TEST_F(ProfileCodecTest, TheLeadingColumnRowEncodesAsThe32BytesOfTheExample) {
  const ColumnRow row = noMappingRow();
  const std::string expected = hexBytes("41 1D 00 03 00 4E 01 00 30 43 10 00") +
                               "(ohne Zuordnung)" + hexBytes("43 01 00 30");
  ASSERT_EQ(expected.size(), 32u);
  EXPECT_EQ(ASAVE({row.begin(), row.end()}), expected);
  EXPECT_EQ(AREAD(expected), (std::vector<Value>{row.begin(), row.end()}));
}

// A profile assembled byte by byte: one mapped field NAME, the columns "(ohne Zuordnung)"
// and "Name", two paths, stop column 1, header .T., article numbers .F., address numbers .T.
const std::string& handMadeProfile() {
  static const std::string bytes =
      hexBytes("41 A3 00 08 00")    // the profile: 8 items
      + hexBytes("41 31 00 01 00")  // item 1: one field row
      + hexBytes("41 2C 00 09 00")  //   row of 9 slots
      + hexBytes("4E 01 00 31") + hexBytes("43 04 00 4E 41 4D 45") + hexBytes("43 01 00 43") +
      hexBytes("4E 02 00 33 30") + hexBytes("4E 01 00 30") + hexBytes("43 04 00 4E 61 6D 65") +
      hexBytes("43 01 00 41") + hexBytes("4E 01 00 31") + hexBytes("43 00 00") +
      hexBytes("41 36 00 02 00")  // item 2: two column rows
      + hexBytes("41 1D 00 03 00 4E 01 00 30 43 10 00") + "(ohne Zuordnung)" +
      hexBytes("43 01 00 30") + hexBytes("41 11 00 03 00") + hexBytes("4E 01 00 31") +
      hexBytes("43 04 00 4E 61 6D 65") + hexBytes("43 01 00 41") + hexBytes("43 09 00") +
      "C:\\a.xlsx"                                 // item 3
      + hexBytes("43 0F 00") + "C:\\ADRESSEN.DBF"  // item 4
      + hexBytes("4E 01 00 31")                    // item 5
      + hexBytes("4C 03 00 2E 54 2E") + hexBytes("4C 03 00 2E 46 2E") +
      hexBytes("4C 03 00 2E 54 2E") + hexBytes("1A");
  return bytes;
}

AppState handMadeState() {
  AppState state;
  state.aFields = {{Value::integer(1), Value::text("NAME"), Value::text("C"), Value::integer(30),
                    Value::integer(0), Value::text("Name"), Value::text("A"), Value::integer(1),
                    Value::text("")}};
  state.aColumns = {noMappingRow(), {Value::integer(1), Value::text("Name"), Value::text("A")}};
  state.cXlsFile = "C:\\a.xlsx";
  state.cDbfFile = "C:\\ADRESSEN.DBF";
  state.nStopColumn = 1;
  state.vorein(vorein::kHeader) = Value::logical(true);
  state.lAutoArtNr = false;
  state.lAutoAdrNr = true;
  return state;
}

TEST_F(ProfileCodecTest, AProfileWrittenByHandIsReadAndWrittenByteForByte) {
  ASSERT_EQ(handMadeProfile().size(), 167u);
  const AppState state = handMadeState();
  EXPECT_EQ(encodeProfileFile(state), handMadeProfile());

  const std::optional<MappingProfile> profile = decodeProfileFile(handMadeProfile());
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->fields, state.aFields);
  EXPECT_EQ(profile->columns, state.aColumns);
  EXPECT_EQ(profile->xlsFile, "C:\\a.xlsx");
  EXPECT_EQ(profile->dbfFile, "C:\\ADRESSEN.DBF");
  EXPECT_EQ(profile->stopColumn, 1);
  EXPECT_TRUE(profile->headerPreference);
  EXPECT_FALSE(profile->autoArtNr);
  EXPECT_TRUE(profile->autoAdrNr);

  // The end mark is optional on reading.
  const std::string withoutMark = handMadeProfile().substr(0, 166);
  EXPECT_TRUE(decodeProfileFile(withoutMark));
}

TEST_F(ProfileCodecTest, NestedListsOfEveryKindComeBackEqual) {
  std::string allBytes;
  for (int b = 0; b < 256; ++b) allBytes += static_cast<char>(b);
  const std::vector<Value> list = {
      Value::text(""),
      Value::text(allBytes),
      Value::integer(-42),
      Value::integer(123456789012345678),
      Value::real(12.5, 1),
      Value::real(-0.001, 3),
      Value::real(1e20),
      Value::logical(true),
      Value::logical(false),
      Value::date(dayNumber(2012, 3, 15)),
      Value::date(0),
      Value(),
      Value::list({}),
      Value::list({Value::list({Value::list({Value::text("tief")})}), Value::integer(0)}),
  };
  const std::optional<std::string> bytes = ASAVE(list);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(AREAD(*bytes), list);
}

TEST_F(ProfileCodecTest, LengthsBeyond16BitsAreRefusedWhenEncoding) {
  // Outer payload: 2 (count) + 3 (type, length) + text.
  EXPECT_TRUE(ASAVE({Value::text(std::string(32762, 'x'))}));
  EXPECT_FALSE(ASAVE({Value::text(std::string(32763, 'x'))}));
  EXPECT_FALSE(ASAVE({Value::list({Value::text(std::string(40000, 'x'))})}));
  EXPECT_FALSE(ASAVE(std::vector<Value>(40000, Value())));
  // A length of 32768 and more would read back as negative.
  const std::string fits = *ASAVE({Value::text(std::string(32762, 'x'))});
  EXPECT_EQ(fits.substr(0, 3), hexBytes("41 FF 7F"));
  EXPECT_TRUE(AREAD(fits));
}

TEST_F(ProfileCodecTest, DeepNestingIsRefusedNotOverflowed) {
  Value nested = Value::list({});
  for (int i = 0; i < kMaxListDepth - 2; ++i) nested = Value::list({nested});
  const std::optional<std::string> deepest = ASAVE({nested});
  ASSERT_TRUE(deepest);
  EXPECT_EQ(AREAD(*deepest), std::vector<Value>{nested});
  EXPECT_FALSE(ASAVE({Value::list({nested})}));
  // One level more, written by hand.
  EXPECT_FALSE(AREAD(item('A', "\x01" + std::string(1, '\0') + *deepest)));

  // 10000 lists, each the only element of the one around it.
  std::string deep = item('A', std::string("\0\0", 2));
  for (int i = 0; i < 10000 && deep.size() < 32000; ++i)
    deep = item('A', "\x01" + std::string(1, '\0') + deep);
  EXPECT_FALSE(AREAD(deep));
}

TEST_F(ProfileCodecTest, DamagedAndForeignBytesAreRefused) {
  const std::string good = handMadeProfile().substr(0, 166);
  ASSERT_TRUE(decodeProfileFile(good));
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(AREAD(good.substr(0, n))) << "prefix of " << n;
  }
  EXPECT_FALSE(AREAD(good + "x"));
  EXPECT_FALSE(decodeProfileFile(std::string("\x1A")));
  EXPECT_FALSE(decodeProfileFile("Dies ist eine Textdatei.\r\n"));
  EXPECT_FALSE(AREAD(hexBytes("43 02 00 41 42")));  // a text, not a list

  auto patched = [&](std::size_t at, const std::string& hex) {
    std::string bytes = good;
    const std::string b = hexBytes(hex);
    bytes.replace(at, b.size(), b);
    return bytes;
  };
  EXPECT_FALSE(AREAD(patched(1, "A4 00")));                       // outer length one too long
  EXPECT_FALSE(AREAD(patched(1, "A3 80")));                       // negative length
  EXPECT_FALSE(AREAD(patched(3, "09 00")));                       // count one too many
  EXPECT_FALSE(AREAD(patched(3, "07 00")));                       // count one too few
  EXPECT_FALSE(AREAD(patched(0x0F, "4E 01 00 78")));              // number "x"
  EXPECT_FALSE(AREAD(patched(0x0F, "4E 01 00 2D")));              // number "-"
  EXPECT_FALSE(AREAD(patched(160, "4C 03 00 59 45 53")));         // logical "YES"
  EXPECT_TRUE(AREAD(patched(0x0F, "55 01 00 31")));               // unknown kind: empty value...
  EXPECT_FALSE(decodeProfileFile(patched(0x0F, "55 01 00 31")));  // ...but no field number
  EXPECT_FALSE(decodeProfileFile(patched(0x0F, "43 01 00 31")));  // text where a number goes

  // The right bytes, but not the right items.
  auto listOf = [](std::vector<Value> items) { return *ASAVE(items); };
  std::vector<Value> items = *AREAD(good);
  EXPECT_TRUE(profileFromList(items));
  for (std::size_t drop = 0; drop < items.size(); ++drop) {
    std::vector<Value> seven = items;
    seven.erase(seven.begin() + static_cast<long>(drop));
    EXPECT_FALSE(decodeProfileFile(listOf(seven))) << drop;
  }
  std::vector<Value> nine = items;
  nine.push_back(Value::logical(true));
  EXPECT_FALSE(decodeProfileFile(listOf(nine)));
  for (const Value& stop :
       {Value::integer(-1), Value::real(2.5), Value::text("3"), Value::real(1e12)}) {
    std::vector<Value> wrong = items;
    wrong[4] = stop;
    EXPECT_FALSE(decodeProfileFile(listOf(wrong)));
  }
  std::vector<Value> shortRow = items;
  std::vector<Value> row = shortRow[0].asList()[0].asList();
  row.pop_back();
  shortRow[0] = Value::list({Value::list(row)});
  EXPECT_FALSE(decodeProfileFile(listOf(shortRow)));
  std::vector<Value> flatColumns = items;
  flatColumns[1] = Value::list({Value::integer(0)});
  EXPECT_FALSE(decodeProfileFile(listOf(flatColumns)));
  std::vector<Value> textHeader = items;
  textHeader[5] = Value::text(".T.");
  EXPECT_FALSE(decodeProfileFile(listOf(textHeader)));
}

bool containsDate(const std::vector<Value>& list) {
  for (const Value& v : list) {
    if (v.isDate() || (v.isList() && containsDate(v.asList()))) return true;
  }
  return false;
}

// Random damage to valid profiles and random bytes: decoding must never crash, and whatever
// it accepts must encode again and decode to the same list.
TEST_F(ProfileCodecTest, RandomlyDamagedInputNeverCrashesTheReader) {
  AppState big = handMadeState();
  for (int i = 2; i <= 40; ++i) {
    FieldRow row = big.aFields[0];
    row[field_slot::kFieldNo] = Value::integer(i);
    row[field_slot::kColNo] = Value::text("");
    big.aFields.push_back(row);
  }
  const std::vector<std::string> seeds = {
      handMadeProfile(), *encodeProfileFile(big),
      *ASAVE({Value::list({Value::list({Value::real(1.5)})}), Value::date(dayNumber(2001, 2, 3))})};
  std::mt19937 rng(20261207);
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n)(rng); };
  const char interesting[] = {'A',    'C',    'N', 'L', 'D', 'U', '\0', '\x7F', '\x80',
                              '\xFF', '\x1A', '.', 'T', 'F', '-', '0',  '9'};

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  long runs = 0, accepted = 0;
  for (; runs < 300000 && std::chrono::steady_clock::now() < deadline; ++runs) {
    std::string bytes = seeds[runs % seeds.size()];
    const std::size_t edits = 1 + pick(4);
    for (std::size_t e = 0; e < edits && !bytes.empty(); ++e) {
      const std::size_t at = pick(bytes.size() - 1);
      switch (pick(5)) {
        case 0:
          bytes[at] = static_cast<char>(pick(255));
          break;
        case 1:
          bytes[at] = interesting[pick(sizeof interesting - 1)];
          break;
        case 2:
          bytes.erase(at, 1 + pick(3));
          break;
        case 3:
          bytes.insert(at, 1, static_cast<char>(pick(255)));
          break;
        case 4:
          bytes.resize(at);
          break;
        default:
          bytes = std::string(pick(64), '\0');
          for (char& c : bytes) c = static_cast<char>(pick(255));
          break;
      }
    }
    (void)decodeProfileFile(bytes);
    const std::optional<std::vector<Value>> list = AREAD(bytes);
    if (!list) continue;
    ++accepted;
    const std::optional<std::string> again = ASAVE(*list);
    ASSERT_TRUE(again);
    if (!containsDate(*list)) {
      ASSERT_EQ(AREAD(*again), list);
    }
  }
  RecordProperty("runs", std::to_string(runs));
  RecordProperty("accepted", std::to_string(accepted));
  EXPECT_GT(runs, 1000);
  EXPECT_GT(accepted, 0);  // the mutations also reach the accepting paths
}

}  // namespace
}  // namespace zandor
