// libFuzzer target: our own XML parser against expat. For any bytes, our parser must give
// the same outcome however the bytes are cut into chunks, and where both parsers accept a
// document their events must be the same (expat's are the reference).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sheet/fast_xml.h"
#include "sheet/sheet_error.h"
#include "sheet/xml_recorder.h"
#include "sheet/xml_stream.h"

namespace {

using namespace zandor::sheet;

struct Outcome {
  bool failed = false;
  std::string events;
};

template <class Parser>
Outcome parse(const std::string& xml, std::size_t cut, bool takeSimple) {
  Recorder r(takeSimple);
  Outcome o;
  try {
    Parser p(r, "teil.xml");
    p.feed(xml.data(), cut);
    p.feed(xml.data() + cut, xml.size() - cut);
    p.finish();
  } catch (const SheetReadError&) {
    o.failed = true;
  }
  if (!o.failed) o.events = r.log();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose where the document is cut into two chunks.
  const std::string xml(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::size_t cut = xml.empty() ? 0 : (data[0] | data[1] << 8) % (xml.size() + 1);
  const Outcome whole = parse<FastXmlStream>(xml, xml.size(), false);
  const Outcome split = parse<FastXmlStream>(xml, cut, false);
  const Outcome taken = parse<FastXmlStream>(xml, cut, true);
  if (whole.failed != split.failed || whole.events != split.events) std::abort();
  if (whole.failed != taken.failed || whole.events != taken.events) std::abort();
  const Outcome expat = parse<XmlStream>(xml, cut, false);
  if (!whole.failed && !expat.failed && whole.events != expat.events) std::abort();
  return 0;
}
