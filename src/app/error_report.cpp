#include "app/error_report.h"

#include "base/date.h"
#include "base/number_text.h"
#include "base/text.h"

namespace zandor {

namespace {

std::string num(long long n) {
  return std::to_string(n);
}

std::string logical(bool b) {
  return b ? ".T." : ".F.";
}

// The picture "9999999": right-aligned in 7 places.
std::string picture7(std::uint32_t n) {
  return padLeft(std::to_string(n), 7);
}

std::string valueText(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Empty:
      return "NIL";
    case Value::Kind::Text:
      return value.asText();
    case Value::Kind::Number:
      return numberToPlainText(value.asNumber());
    case Value::Kind::Logical:
      return logical(value.asLogical());
    case Value::Kind::Date:
      return dateToText(value.asDate().day);
    case Value::Kind::List:
      return "{ Len: " + padLeft(std::to_string(value.asList().size()), 4) + " }";
    case Value::Kind::Object:
      return value.asObject() ? "Class: " + value.asObject()->className() : "Class: ";
    case Value::Kind::Error:
      return value.asErrorText();
  }
  return {};
}

std::string timeText(long long seconds) {
  auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  return two(seconds / 3600) + ":" + two(seconds / 60 % 60) + ":" + two(seconds % 60);
}

class Lines {
 public:
  void operator+=(const std::string& line) {
    text_ += line;
    text_ += "\r\n";
  }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace

std::string pictureThousands(std::uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return padLeft(out, 9);
}

std::string errorDescriptionLine(const Error& error) {
  return "   Error description: " + error.text();
}

std::vector<std::string> calledFromLines(const ReportFacts& facts) {
  std::vector<std::string> lines;
  for (const CallLevel& level : facts.calls) {
    if (level.operation.empty()) continue;  // a level without a name says nothing
    if (lines.size() == 72) break;
    lines.push_back("   Called from: " + level.source + " => " + level.operation + "( " +
                    std::to_string(level.line) + " )");
  }
  return lines;
}

std::string errorReport(const Error& error, const ReportFacts& facts) {
  Lines out;
  out += "Application";
  out += "===========";
  out += "   Path and name: " + facts.programPath + (facts.bits64 ? " (64 bits)" : " (32 bits)");
  out += "   Size: " + pictureThousands(facts.programSize) + " bytes";
  out += "   Compiler version: " + facts.compilerVersion;
  out += "   GUI framework: " + facts.guiFramework;
  out += "   Windows version: " + num(facts.osMajor) + "." + num(facts.osMinor) + ", Build " +
         num(facts.osBuild) + " " + facts.osExtra;
  out += "";
  out += "   Time from start: " + timeText(facts.secondsFromStart);
  out += "   Error occurred at: " + facts.date + ", " + facts.time;
  out += errorDescriptionLine(error);
  if (error.args) {
    out += "   Args:";
    int i = 0;
    for (const Value& arg : *error.args) {
      ++i;
      out += "     [" + padLeft(std::to_string(i), 4) + "] = " + std::string(1, arg.type()) +
             "   " + valueText(arg);
    }
  }

  out += "";
  out += "Stack Calls";
  out += "===========";
  for (const std::string& line : calledFromLines(facts)) out += line;

  out += "";
  out += "System";
  out += "======";
  out += "   CPU type: " + facts.cpuName +
         (facts.cpuMhz ? " " + std::to_string(*facts.cpuMhz) + " Mhz" : std::string());
  out += "   Hardware memory: " + std::to_string(facts.memoryBytes / (1024 * 1024) + 1) + " megs";
  out += "";
  const std::string percent = std::to_string(facts.freeMemoryPercent) + " %";
  out += "   Free System resources: " + percent;
  out += "        GDI    resources: " + percent;
  out += "        User   resources: " + percent;
  out += "";
  out += "   Windows total applications running: " + std::to_string(facts.tasks.size());
  for (std::size_t i = 0; i < facts.tasks.size(); ++i) {
    out += "    " + padLeft(std::to_string(i + 1), 3) + " " + facts.tasks[i];
  }

  out += "";
  out += "Variables in use";
  out += "================";
  out += "   Procedure     Type   Value";
  out += "   ==========================";
  for (const CallLevel& level : facts.calls) {
    if (!level.operation.empty()) out += "   " + level.operation;
  }

  out += "";
  out += "Linked RDDs";
  out += "===========";
  for (const std::string& driver : facts.drivers) out += "   " + driver;

  out += "";
  out += "DataBases in use";
  out += "================";
  for (const WorkAreaFacts& area : facts.areas) {
    out += "";
    out += padLeft(std::to_string(area.number), 3) + ": " + (area.current ? "=> " : "   ") +
           padRight(area.alias, 15) + std::string(20, ' ') + "RddName: " + area.driver;
    out += "     ==============================";
    out += "     RecNo    RecCount    BOF   EOF";
    out += "    " + picture7(area.recNo) + std::string(6, ' ') + picture7(area.recCount) +
           std::string(6, ' ') + logical(area.bof) + "   " + logical(area.eof);
    out += "";
    out += "     Indexes in use " + std::string(23, ' ') + "TagName";
    for (std::size_t i = 0; i < area.orders.size() && i < 15; ++i) {
      const OrderFacts& order = area.orders[i];
      if (order.keyExpression.empty()) continue;
      out += std::string(8, ' ') + (order.controlling ? "=> " : "   ") +
             padRight(order.keyExpression, 35) + order.name;
    }
    out += "";
    out += "     Relations in use";
  }

  out += "";
  out += "Classes in use:";
  out += "===============";
  for (std::size_t i = 0; i < facts.classes.size(); ++i) {
    out += "   " + padLeft(std::to_string(i + 1), 3) + " " + facts.classes[i];
  }

  out += "";
  out += "Memory Analysis";
  out += "===============";
  out += std::string(6, ' ') + "0 Static variables";
  out += "";
  out += "   Dynamic memory consume:";
  out += "      Actual  Value: " + std::to_string(facts.memoryInUse) + " bytes";
  out += "      Highest Value: " + std::to_string(facts.memoryHighest) + " bytes";
  return out.text();
}

}  // namespace zandor
