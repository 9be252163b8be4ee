#include "sheet/server_registry.h"

#include <vector>

#include "sheet/excel_server.h"

namespace zandor::sheet {

namespace {

struct Entry {
  std::string progId;
  std::string classId;
  std::uint32_t contexts;
  ServerFactory factory;
};

char upperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  }
  return true;
}

std::vector<Entry>& entries() {
  static std::vector<Entry> list = [] {
    std::vector<Entry> builtIn;
    builtIn.push_back({kExcelProgId, kExcelClassId, kClsctxLocalServer, createExcelApplication});
    return builtIn;
  }();
  return list;
}

// ProgIDs and class ids are ASCII; anything else cannot name a server.
bool toAscii(std::u16string_view text, std::string* out) {
  out->clear();
  for (char16_t c : text) {
    if (c == 0 || c > 0x7E) return false;
    *out += static_cast<char>(c);
  }
  return true;
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

void registerServer(std::string progId, std::string classId, std::uint32_t contexts,
                    ServerFactory factory) {
  unregisterServer(progId);
  entries().push_back({std::move(progId), std::move(classId), contexts, std::move(factory)});
}

void unregisterServer(std::string_view progId) {
  auto& list = entries();
  std::erase_if(list, [&](const Entry& e) { return sameIgnoringCase(e.progId, progId); });
}

HRESULT classIdFromProgId(std::u16string_view progId, std::string* classId) {
  std::string name;
  if (progId.empty() || !toAscii(progId, &name)) return kCoEClassString;
  for (const Entry& e : entries()) {
    if (sameIgnoringCase(e.progId, name)) {
      *classId = e.classId;
      return kOk;
    }
  }
  return kRegdbEClassNotReg;
}

HRESULT classIdFromString(std::u16string_view text, std::string* classId) {
  std::string s;
  if (!toAscii(text, &s) || s.size() != 38 || s.front() != '{' || s.back() != '}')
    return kCoEClassString;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? s[i] != '-' : !isHex(s[i])) return kCoEClassString;
  }
  for (char& c : s) c = upperAscii(c);
  *classId = s;
  return kOk;
}

HRESULT createInstance(std::string_view classId, std::uint32_t contexts, IDispatch** out) {
  *out = nullptr;
  for (const Entry& e : entries()) {
    if (sameIgnoringCase(e.classId, classId) && (e.contexts & contexts)) return e.factory(out);
  }
  return kRegdbEClassNotReg;
}

}  // namespace zandor::sheet
