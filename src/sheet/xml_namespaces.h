#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/xml_stream.h"

namespace zandor::sheet {

// The namespaces the readers look for; Strict and Transitional spellings are one each.
enum class Namespace : std::uint8_t {
  None,
  Other,
  SpreadsheetMain,        // workbook, sheets, styles, shared strings
  DocumentRelationships,  // r:id
  PackageRelationships,   // .rels parts
  OdfOffice,              // OpenDocument: office:, table:, text:, config:
  OdfTable,
  OdfText,
  OdfConfig,
  CalcExtension,  // LibreOffice's calcext:
};

// The namespace bindings in scope while a document is parsed, so that elements are told
// apart by their namespace and not by how a writer spells its prefix ("x:c" and "c" are
// the same element; "x15:workbookPr" is not "workbookPr").
class NamespaceScope {
 public:
  // Call for every start tag before its name is looked at, and leave() for every end tag.
  void enter(const char** attrs) {
    ++depth_;
    for (const char** a = attrs; *a; a += 2) {
      if (isDeclaration(a[0])) bind(a[0], a[1]);
    }
  }
  void leave() {
    while (!bindings_.empty() && bindings_.back().depth == depth_) unbind();
    --depth_;
  }
  // Elements open: 1 within the root.
  std::size_t depth() const { return depth_; }

  // The namespace of an element name as written.
  Namespace of(const char* name) const {
    const char* colon = std::strchr(name, ':');
    if (!colon) return defaultNamespace_;
    return lookUp(std::string_view(name, static_cast<std::size_t>(colon - name)));
  }
  // The local name of an element or attribute of the namespace (or of none, or of an unbound
  // prefix); "" for any other.
  std::string_view localIn(const char* name, Namespace ns) const {
    const std::string_view local = localName(name);
    const Namespace found =
        local.data() == name
            ? defaultNamespace_
            : lookUp(std::string_view(name, static_cast<std::size_t>(local.data() - name - 1)));
    return found == ns || found == Namespace::None ? local : std::string_view();
  }
  // An element without any namespace is taken as the one expected (hand-made parts leave
  // the declarations out); one of another namespace never is.
  bool isIn(const char* name, Namespace ns) const {
    const Namespace found = of(name);
    return found == ns || found == Namespace::None;
  }
  bool isMain(const char* name) const { return isIn(name, Namespace::SpreadsheetMain); }
  // Whether a name written without a prefix is in the main namespace (or in none).
  bool defaultIsMain() const {
    return defaultNamespace_ == Namespace::SpreadsheetMain || defaultNamespace_ == Namespace::None;
  }
  // The local name of an element of the main namespace (or of none); "" for any other.
  std::string_view mainLocal(const char* name) const {
    const std::string_view local = localName(name);
    if (local.data() == name) return defaultIsMain() ? local : std::string_view();
    const Namespace ns =
        lookUp(std::string_view(name, static_cast<std::size_t>(local.data() - name - 1)));
    return ns == Namespace::SpreadsheetMain || ns == Namespace::None ? local : std::string_view();
  }

  // The local name of a prefixed attribute of the namespace (or of an unbound prefix); ""
  // for any other.
  std::string_view attributeLocal(const char* name, Namespace ns) const {
    const std::string_view local = localName(name);
    if (local.data() == name) return {};
    const Namespace found =
        lookUp(std::string_view(name, static_cast<std::size_t>(local.data() - name - 1)));
    return found == ns || found == Namespace::None ? local : std::string_view();
  }

  // The value of a prefixed attribute in the given namespace (or with an unbound prefix),
  // or nullptr.
  const char* attribute(const char** attrs, Namespace ns, std::string_view local) const;

  static Namespace classify(std::string_view uri);

 private:
  static bool isDeclaration(const char* attr) {
    return attr[0] == 'x' && std::strncmp(attr, "xmlns", 5) == 0;
  }

  struct Binding {
    std::string prefix;
    Namespace ns;
    Namespace shadowedDefault;
    std::size_t depth;
  };
  void bind(std::string_view attr, std::string_view uri);
  void unbind();
  Namespace lookUp(std::string_view prefix) const;
  Namespace search(std::string_view prefix) const;

  std::vector<Binding> bindings_;
  // The prefixes looked up last (documents use a few of the dozens they declare), emptied
  // whenever the bindings change.
  struct Recent {
    std::string prefix;
    Namespace ns = Namespace::None;
  };
  mutable Recent recent_[4];
  mutable std::size_t recentNext_ = 0;
  std::size_t depth_ = 0;
  Namespace defaultNamespace_ = Namespace::None;
};

}  // namespace zandor::sheet
