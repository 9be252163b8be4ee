#include "import/auto_numbers.h"

#include <cmath>

#include "base/encoding.h"
#include "base/text.h"
#include "state/app_state.h"
#include "table/work_areas.h"
#include "ui/ui.h"

namespace zandor {

namespace {

std::string counterDigits(std::int64_t counter) {
  return std::to_string(counter);
}

// The counter as a whole number; 0 for anything that is not a number.
std::int64_t counterOf(const Value& slot) {
  if (!slot.isNumber()) return 0;
  const Number& n = slot.asNumber();
  if (n.isInteger) return n.integer;
  if (!std::isfinite(n.real) || std::fabs(n.real) > 9e15) return 0;
  return static_cast<std::int64_t>(n.real);
}

void inform(AppState& state, const std::string& utf8) {
  if (state.ui) state.ui->information(utf8ToCp1252(utf8));
}

}  // namespace

std::optional<std::string> AUTOGEN(AppState& state, WorkAreas& areas, const std::string&,
                                   const std::string& tableName) {
  const bool article = beginsWith(tableName, "ARTIKEL");
  if (!article && !beginsWith(tableName, "ADRESSEN")) {
    inform(state, "Bisher werden nur Artikel und Adressen.dbf unterstützt");
    return std::nullopt;
  }
  const Value& prefixSlot = state.vorein(article ? vorein::kArtPrefix : vorein::kAdrPrefix);
  const std::string prefix =
      prefixSlot.isText() && !isBlankText(prefixSlot.asText()) ? prefixSlot.asText() : "";
  Value& counterSlot = state.vorein(article ? vorein::kArtCounter : vorein::kAdrCounter);

  std::int64_t counter = counterOf(counterSlot);
  std::string candidate;
  if (counter != 0) {
    candidate = prefix + counterDigits(counter);
  } else {
    candidate = prefix + "1";
    counter = 2;
    counterSlot = Value::integer(counter);
  }

  const std::string crlf = "\r\n";
  if (!article && candidate.size() > 10) {
    inform(state, "Die zu vergebende Nummer: " + cp1252ToUtf8(candidate) + " ist zu lang!" + crlf +
                      "Bei Adressen sind max. sind 10 Zeichen erlaubt." + crlf +
                      "Bitte verwenden Sie kürzere Einstellungen in den Voreinstellungen.");
    return std::nullopt;
  }
  if (candidate.size() > 15) {
    inform(state, "Die zu vergebende Nummer: " + cp1252ToUtf8(candidate) + " ist zu lang!" + crlf +
                      "Bei Artikeln sind max. sind 15 Zeichen erlaubt." + crlf +
                      "Bitte verwenden Sie kürzere Einstellungen in den Voreinstellungen.");
    return std::nullopt;
  }

  for (int attempt = 0; attempt < kAutogenAttempts; ++attempt) {
    if (!areas.DBSEEK(Value::text(candidate))) return candidate;
    ++counter;
    counterSlot = Value::integer(counter);
    candidate = prefix + counterDigits(counter);
  }
  inform(state, "konnte nach " + std::to_string(kAutogenAttempts) +
                    " Versuchen keine freie Nummer ermitteln. Abbruch!");
  return std::nullopt;
}

}  // namespace zandor
