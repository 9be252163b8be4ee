// Our own XML parser must deliver what expat delivers, whether it takes small elements in
// one piece or tag by tag, however the part is cut into chunks; a handler that takes small
// elements at once must end up where the events would have led it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sheet/fast_xml.h"
#include "sheet/sheet_error.h"
#include "sheet/xml_recorder.h"
#include "sheet/xml_stream.h"

namespace zandor::sheet {
namespace {

struct Outcome {
  std::string events;
  bool failed = false;
  int taken = 0;
};

Outcome withExpat(const std::string& xml) {
  Recorder r;
  Outcome o;
  try {
    XmlStream s(r, "teil.xml");
    s.feed(xml.data(), xml.size());
    s.finish();
  } catch (const SheetReadError&) {
    o.failed = true;
  }
  o.events = r.log();
  return o;
}

// Fed in chunks cut at the given places.
Outcome withFast(const std::string& xml, const std::vector<std::size_t>& cuts, bool takeSimple) {
  Recorder r(takeSimple);
  Outcome o;
  try {
    FastXmlStream s(r, "teil.xml");
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      s.feed(xml.data() + from, cut - from);
      from = cut;
    }
    s.feed(xml.data() + from, xml.size() - from);
    s.finish();
  } catch (const SheetReadError&) {
    o.failed = true;
  }
  o.events = r.log();
  o.taken = r.taken;
  return o;
}

const char* const kShapes[] = {
    // Taken whole.
    "<c r=\"A1\" t=\"s\"><v>0</v></c>",
    "<c r=\"B1\" s=\"2\"/>",
    "<c r=\"C1\"><v/></c>",
    "<c r=\"D1\"><v></v></c>",
    "<t>M\xc3\xbcller &amp; S\xc3\xb6hne &#x41;&#66;</t>",
    "<si><t xml:space=\"preserve\"> zwei  Blanks </t></si>",
    "<x:c r=\"E1\"><x:v>1.5</x:v></x:c>",
    "<c r=\"F1\" a=\"&gt;\"><v>1</v></c>",  // entity in a value: tag by tag
    "<c r=\"G1\" a=\">\"><v>2</v></c>",
    "<c r=\"H1\" >  <v >3</v ></c >",
    "<c r='I1'><v>4</v></c>",
    "<c r = \"J1\"><v>5</v></c>",
    "<c a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\" i=\"9\"><v>6</v></c>",
    "<c a=\"1\" b=\"2\" c=\"3\" d=\"4\" e=\"5\" f=\"6\" g=\"7\" h=\"8\"><v>7</v></c>",
    "<c><is><t>inline</t></is></c>",
    "<c r=\"L1\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> a &amp; b\r\n</t></is></c>",
    "<c r=\"M1\" t=\"inlineStr\"><is><t></t></is></c>",
    "<si><r><t>Lauf</t></r></si>",
    // Not small: tag by tag.
    "<c>vor<v>8</v>nach</c>",
    "<c><v>9</v><v>10</v></c>",
    "<c><v><![CDATA[<11>]]></v></c>",
    "<c><!-- nichts --><v>12</v></c>",
    "<c><v>13<!-- x --></v></c>",
    "<c><f>A1</f><v>14</v></c>",
    "<c><is><t/></is></c>",
    "<c>z<?pi x?>y</c>",  // processing instructions inside elements: never taken as elements
    "<c><?pi?><v>20</v></c>",
    "<c><is><?pi?><t>a</t></is></c>",
    "<c><is><t>a</t><?pi?></is></c>",
    "<c><is><r><t>Lauf</t></r></is></c>",
    "<c><is><t>a</t><t>b</t></is></c>",
    "<c><is><t>a</t></is>nach</c>",
    "<c><is><t>a</t>\n</is></c>",
    "<c><is xmlns=\"urn:z\"><t>a</t></is></c>",
    "<c>\n<v>15</v>\n</c>",
    "<c><v>16</v>\n</c>",
    "<row r=\"2\"><c r=\"A2\"><v>17</v></c><c r=\"B2\"><v>18</v></c></row>",
    // Line ends: CR LF and CR are LF in text, blanks in values.
    "<c r=\"K1\"><v>a\r\nb\rc\r</v></c>",
    "<t>x\r\n&amp;\r&#13;\r\n</t>",
    "<c a=\"x\r\ny\tz\n\r\"><v>1</v></c>",
    "<c a=\"&#13;&#10;\r\n&amp;\r\"/>",
    "<c><v><![CDATA[a\r\nb\r]]></v></c>",
    "<c>\r\n<v>19</v>\r</c>",
};

std::string document(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<w:root xmlns:w=\"urn:x\" "
         "xmlns:x=\"urn:y\">" +
         body + "</w:root>";
}

TEST(XmlParsers, EveryShapeGivesExpatsEventsInEveryCut) {
  std::string all;
  for (const char* shape : kShapes) all += shape;
  std::vector<std::string> documents;
  for (const char* shape : kShapes) documents.push_back(document(shape));
  documents.push_back(document(all));

  int takenInAll = 0;
  for (const std::string& xml : documents) {
    SCOPED_TRACE(xml);
    const Outcome expected = withExpat(xml);
    ASSERT_FALSE(expected.failed);
    for (bool takeSimple : {false, true}) {
      const Outcome whole = withFast(xml, {}, takeSimple);
      EXPECT_FALSE(whole.failed);
      EXPECT_EQ(whole.events, expected.events);
      if (xml.size() == document(all).size()) takenInAll = std::max(takenInAll, whole.taken);
      for (std::size_t cut = 1; cut < xml.size(); ++cut) {
        const Outcome split = withFast(xml, {cut}, takeSimple);
        ASSERT_FALSE(split.failed) << "cut at " << cut;
        ASSERT_EQ(split.events, expected.events) << "cut at " << cut;
      }
    }
  }
  // The plain cells, the texts, the inline-text cells and the second-level cells of the row
  // were taken at once.
  EXPECT_GE(takenInAll, 16);
}

TEST(XmlParsers, FaultsInSmallElementsAreFaultsInEveryCut) {
  const char* const faults[] = {
      "<c r=\"A1\"><v>1</w></c>",    "<c r=\"A1\"><v>1</v></d>", "<c r=\"A<1\"><v>1</v></c>",
      "<c><v>&bogus;</v></c>",       "<c><v>&#0;</v></c>",       "<c r=\"A1\"><v>1</v>",
      "<c r=\"A1\" r2><v>1</v></c>",
  };
  for (const char* fault : faults) {
    const std::string xml = document(fault);
    SCOPED_TRACE(xml);
    ASSERT_TRUE(withExpat(xml).failed);
    for (bool takeSimple : {false, true}) {
      EXPECT_TRUE(withFast(xml, {}, takeSimple).failed);
      for (std::size_t cut = 1; cut < xml.size(); ++cut)
        ASSERT_TRUE(withFast(xml, {cut}, takeSimple).failed) << "cut at " << cut;
    }
  }
}

}  // namespace
}  // namespace zandor::sheet
