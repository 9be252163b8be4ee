#include "mapping/mapping_profile.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/paths.h"
#include "mapping/profile_codec.h"
#include "state/app_state.h"
#include "ui/ui.h"

namespace zandor {

namespace {

// The largest file a valid profile can make: type, length, payload and end mark.
constexpr std::uintmax_t kMaxProfileFileSize = 1 + 2 + kMaxItemLength + 1;

void inform(AppState& state, const std::string& text) {
  if (state.ui != nullptr) state.ui->information(text);
}

template <std::size_t N>
std::vector<Value> rowsToList(const std::vector<std::array<Value, N>>& rows) {
  std::vector<Value> list;
  list.reserve(rows.size());
  for (const auto& row : rows) list.push_back(Value::list({row.begin(), row.end()}));
  return list;
}

// Kind checks per slot, in slot order.
using SlotCheck = bool (*)(const Value&);
constexpr SlotCheck kNumber = [](const Value& v) { return v.isNumber(); };
constexpr SlotCheck kText = [](const Value& v) { return v.isText(); };
constexpr SlotCheck kNumberOrText = [](const Value& v) { return v.isNumber() || v.isText(); };

constexpr std::array<SlotCheck, 9> kFieldSlots = {
    kNumber, kText, kText, kNumber, kNumber, kNumberOrText, kText, kNumberOrText, kText};
constexpr std::array<SlotCheck, 3> kColumnSlots = {kNumber, kText, kText};

template <std::size_t N>
std::optional<std::vector<std::array<Value, N>>> listToRows(
    const Value& item, const std::array<SlotCheck, N>& checks) {
  if (!item.isList()) return std::nullopt;
  std::vector<std::array<Value, N>> rows;
  rows.reserve(item.asList().size());
  for (const Value& row : item.asList()) {
    if (!row.isList() || row.asList().size() != N) return std::nullopt;
    std::array<Value, N> slots;
    for (std::size_t i = 0; i < N; ++i) {
      if (!checks[i](row.asList()[i])) return std::nullopt;
      slots[i] = row.asList()[i];
    }
    rows.push_back(std::move(slots));
  }
  return rows;
}

std::optional<int> stopColumnOf(const Value& v) {
  if (!v.isNumber()) return std::nullopt;
  const Number& n = v.asNumber();
  if (n.isInteger) {
    if (n.integer < 0 || n.integer > INT_MAX) return std::nullopt;
    return static_cast<int>(n.integer);
  }
  if (!(n.real >= 0 && n.real <= INT_MAX) || n.real != static_cast<int>(n.real)) {
    return std::nullopt;
  }
  return static_cast<int>(n.real);
}

// Writes beside the target and renames, so that a failure never leaves half a profile and
// an existing profile is only replaced by a complete one.
bool writeWhole(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".tmp~";
  std::error_code ec;
  {
    std::ofstream out(nativePath(temp), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(nativePath(temp), ec);
      return false;
    }
  }
  std::filesystem::rename(nativePath(temp), nativePath(path), ec);
  if (ec) {
    std::filesystem::remove(nativePath(temp), ec);
    return false;
  }
  return true;
}

std::optional<std::string> readProfileBytes(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(nativePath(path), ec);
  if (ec || size > kMaxProfileFileSize) return std::nullopt;
  std::ifstream in(nativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<MappingProfile> readProfileFile(const std::string& path) {
  const std::optional<std::string> bytes = readProfileBytes(path);
  if (!bytes) return std::nullopt;
  return decodeProfileFile(*bytes);
}

bool writeProfileFile(const std::string& path, const std::string& bytes) {
  return writeWhole(path, bytes);
}

std::vector<Value> profileList(const AppState& state) {
  const Value& header = state.vorein(vorein::kHeader);
  return {
      Value::list(rowsToList(state.aFields)),
      Value::list(rowsToList(state.aColumns)),
      Value::text(state.cXlsFile),
      Value::text(state.cDbfFile),
      Value::integer(state.nStopColumn),
      // An unset preference reads as false, as it does from the settings file.
      Value::logical(header.isLogical() && header.asLogical()),
      Value::logical(state.lAutoArtNr),
      Value::logical(state.lAutoAdrNr),
  };
}

std::optional<MappingProfile> profileFromList(const std::vector<Value>& list) {
  if (list.size() != 8) return std::nullopt;
  auto fields = listToRows(list[0], kFieldSlots);
  auto columns = listToRows(list[1], kColumnSlots);
  const std::optional<int> stop = stopColumnOf(list[4]);
  if (!fields || !columns || !list[2].isText() || !list[3].isText() || !stop ||
      !list[5].isLogical() || !list[6].isLogical() || !list[7].isLogical()) {
    return std::nullopt;
  }
  MappingProfile profile;
  profile.fields = std::move(*fields);
  profile.columns = std::move(*columns);
  profile.xlsFile = list[2].asText();
  profile.dbfFile = list[3].asText();
  profile.stopColumn = *stop;
  profile.headerPreference = list[5].asLogical();
  profile.autoArtNr = list[6].asLogical();
  profile.autoAdrNr = list[7].asLogical();
  return profile;
}

std::optional<std::string> encodeProfileFile(const AppState& state) {
  std::optional<std::string> bytes = ASAVE(profileList(state));
  if (!bytes) return std::nullopt;
  *bytes += kProfileEndMark;
  return bytes;
}

std::optional<MappingProfile> decodeProfileFile(std::string_view bytes) {
  if (!bytes.empty() && bytes.back() == kProfileEndMark) bytes.remove_suffix(1);
  const std::optional<std::vector<Value>> list = AREAD(bytes);
  if (!list) return std::nullopt;
  return profileFromList(*list);
}

void applyProfile(AppState& state, MappingProfile profile) {
  state.aFields = std::move(profile.fields);
  state.aColumns = std::move(profile.columns);
  state.cXlsFile = std::move(profile.xlsFile);
  state.cDbfFile = std::move(profile.dbfFile);
  state.nStopColumn = profile.stopColumn;
  state.vorein(vorein::kHeader) = Value::logical(profile.headerPreference);
  state.lAutoArtNr = profile.autoArtNr;
  state.lAutoAdrNr = profile.autoAdrNr;
}

bool ZUORDNUNGSPEICHERN(AppState& state) {
  if (state.ui == nullptr) return false;
  // Checked before asking for a name, so that a refused profile touches no file at all.
  const std::optional<std::string> bytes = encodeProfileFile(state);
  if (!bytes) {
    inform(state,
           "Die Zuordnung ist zu umfangreich f\xfcr eine Profildatei und kann nicht gespeichert "
           "werden.");
    return false;
  }
  std::string path = state.ui->chooseNewFile("Bitte Dateinamen angeben", "*.qno", "");
  if (path.empty()) return false;
  if (path.find('.') == std::string::npos) path += ".qno";
  if (!writeProfileFile(path, *bytes)) {
    inform(state, "Die Profildatei konnte nicht geschrieben werden:\r\n" + path);
    return false;
  }
  return true;
}

bool ZUORDNUNGLADEN(AppState& state) {
  if (state.ui == nullptr) return false;
  const std::string path =
      state.ui->chooseFile("Bitte Profildatei zum Einlesen ausw\xe4hlen", "*.qno", "");
  if (path.empty() || !fileExists(path)) return false;
  std::optional<MappingProfile> profile = readProfileFile(path);
  if (!profile) {
    inform(state,
           "Die Datei ist keine g\xfcltige Zuordnungsdatei und wurde nicht geladen:\r\n" + path);
    return false;
  }
  applyProfile(state, std::move(*profile));
  return true;
}

}  // namespace zandor
