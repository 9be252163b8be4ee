#include "sheet/xml_faults.h"

#include <expat.h>

namespace zandor::sheet {

const char* xmlFaultText(XmlFault fault) {
  switch (fault) {
    case XmlFault::Syntax:
      return "Syntaxfehler";
    case XmlFault::NoElement:
      return "kein Element gefunden";
    case XmlFault::InvalidToken:
      return "nicht wohlgeformt (ung\xc3\xbcltiges Zeichen)";
    case XmlFault::UnclosedToken:
      return "unerwartetes Ende (nicht abgeschlossenes Markup)";
    case XmlFault::TagMismatch:
      return "End-Tag passt nicht zum Start-Tag";
    case XmlFault::JunkAfterRoot:
      return "Inhalt nach dem Dokumentelement";
    case XmlFault::BadCharRef:
      return "Verweis auf eine ung\xc3\xbcltige Zeichennummer";
    case XmlFault::UndefinedEntity:
      return "undefinierte Entit\xc3\xa4t";
    case XmlFault::TagTooLong:
      return "Tag zu lang";
  }
  return "Syntaxfehler";
}

std::string expatFaultText(int code) {
  switch (static_cast<XML_Error>(code)) {
    case XML_ERROR_SYNTAX:
      return xmlFaultText(XmlFault::Syntax);
    case XML_ERROR_NO_ELEMENTS:
      return xmlFaultText(XmlFault::NoElement);
    case XML_ERROR_INVALID_TOKEN:
      return xmlFaultText(XmlFault::InvalidToken);
    case XML_ERROR_UNCLOSED_TOKEN:
      return xmlFaultText(XmlFault::UnclosedToken);
    case XML_ERROR_TAG_MISMATCH:
      return xmlFaultText(XmlFault::TagMismatch);
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT:
      return xmlFaultText(XmlFault::JunkAfterRoot);
    case XML_ERROR_BAD_CHAR_REF:
      return xmlFaultText(XmlFault::BadCharRef);
    case XML_ERROR_UNDEFINED_ENTITY:
      return xmlFaultText(XmlFault::UndefinedEntity);
    case XML_ERROR_NO_MEMORY:
      return "zu wenig Speicher";
    case XML_ERROR_PARTIAL_CHAR:
      return "unvollst\xc3\xa4ndiges Zeichen";
    case XML_ERROR_DUPLICATE_ATTRIBUTE:
      return "doppeltes Attribut";
    case XML_ERROR_PARAM_ENTITY_REF:
      return "unzul\xc3\xa4ssiger Verweis auf eine Parameter-Entit\xc3\xa4t";
    case XML_ERROR_RECURSIVE_ENTITY_REF:
      return "rekursiver Entit\xc3\xa4tsverweis";
    case XML_ERROR_ASYNC_ENTITY:
      return "asynchrone Entit\xc3\xa4t";
    case XML_ERROR_BINARY_ENTITY_REF:
      return "Verweis auf eine bin\xc3\xa4re Entit\xc3\xa4t";
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF:
      return "Verweis auf eine externe Entit\xc3\xa4t in einem Attribut";
    case XML_ERROR_MISPLACED_XML_PI:
      return "XML-Deklaration nicht am Anfang";
    case XML_ERROR_UNKNOWN_ENCODING:
      return "unbekannte Zeichenkodierung";
    case XML_ERROR_INCORRECT_ENCODING:
      return "Zeichenkodierung der XML-Deklaration stimmt nicht";
    case XML_ERROR_UNCLOSED_CDATA_SECTION:
      return "nicht abgeschlossener CDATA-Abschnitt";
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING:
      return "Fehler beim Verarbeiten einer externen Entit\xc3\xa4t";
    case XML_ERROR_NOT_STANDALONE:
      return "Dokument ist nicht eigenst\xc3\xa4ndig";
    case XML_ERROR_ENTITY_DECLARED_IN_PE:
      return "Entit\xc3\xa4t in einer Parameter-Entit\xc3\xa4t deklariert";
    case XML_ERROR_UNBOUND_PREFIX:
      return "Namensraum-Pr\xc3\xa4"
             "fix ohne Deklaration";
    case XML_ERROR_UNDECLARING_PREFIX:
      return "Namensraum-Pr\xc3\xa4"
             "fix darf nicht aufgehoben werden";
    case XML_ERROR_INCOMPLETE_PE:
      return "unvollst\xc3\xa4ndiges Markup in einer Parameter-Entit\xc3\xa4t";
    case XML_ERROR_XML_DECL:
      return "XML-Deklaration nicht wohlgeformt";
    case XML_ERROR_TEXT_DECL:
      return "Textdeklaration nicht wohlgeformt";
    case XML_ERROR_PUBLICID:
      return "unzul\xc3\xa4ssige Zeichen in der Public-ID";
    case XML_ERROR_RESERVED_PREFIX_XML:
      return "das reservierte Pr\xc3\xa4"
             "fix xml ist falsch gebunden";
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
      return "das reservierte Pr\xc3\xa4"
             "fix xmlns ist deklariert";
    case XML_ERROR_RESERVED_NAMESPACE_URI:
      return "Pr\xc3\xa4"
             "fix an einen reservierten Namensraum gebunden";
    default:
      // The parser's own states (suspended, aborted, a DTD feature, ...), which our use of
      // it never reaches, and codes of later versions.
      return "Fehler Nr. " + std::to_string(code) + " des XML-Lesers";
  }
}

}  // namespace zandor::sheet
