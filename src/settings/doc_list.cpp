#include "settings/doc_list.h"

#include "base/text.h"

namespace zandor {

TDocList TDocList::New(const TIni& oIni, std::string cSection, std::string cEntry, int nEntries,
                       bool lCreate) {
  TDocList list;
  list.oIni = &oIni;
  list.cSection = std::move(cSection);
  list.cEntry = std::move(cEntry);
  list.nEntries = nEntries;
  if (lCreate) list.Create();
  for (int i = 1; i <= list.nEntries; ++i) {
    std::string name = oIni.Get(list.cSection, list.keyOf(i));
    if (!name.empty()) list.aDocList.push_back(std::move(name));
  }
  list.Save();
  return list;
}

void TDocList::Create() const {
  for (int i = 1; i <= nEntries; ++i) oIni->Set(cSection, keyOf(i), Value::text(""));
}

int TDocList::findMatch(const std::string& cDoc) const {
  for (std::size_t i = 0; i < aDocList.size(); ++i) {
    if (beginsWith(aDocList[i], cDoc)) return static_cast<int>(i);
  }
  return -1;
}

void TDocList::DocIns(const std::string& cDoc) {
  if (const int found = findMatch(cDoc); found >= 0) aDocList.erase(aDocList.begin() + found);
  aDocList.insert(aDocList.begin(), cDoc);
  // Never more names than keys: a key beyond nEntries would never be read back.
  if (nEntries >= 0 && aDocList.size() > static_cast<std::size_t>(nEntries)) {
    aDocList.resize(static_cast<std::size_t>(nEntries));
  }
  Save();
}

void TDocList::DocRemove(const std::string& cDoc) {
  if (const int found = findMatch(cDoc); found >= 0) aDocList.erase(aDocList.begin() + found);
}

void TDocList::Save() const {
  const int count = static_cast<int>(aDocList.size());
  for (int i = 1; i <= count; ++i) oIni->Set(cSection, keyOf(i), Value::text(aDocList[i - 1]));
  for (int i = count + 1; i <= nEntries; ++i) oIni->Set(cSection, keyOf(i), Value::text(""));
}

}  // namespace zandor
