#include "sheet/xml_namespaces.h"

namespace zandor::sheet {

Namespace NamespaceScope::classify(std::string_view uri) {
  if (uri.empty()) return Namespace::None;
  if (uri == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
      uri == "http://purl.oclc.org/ooxml/spreadsheetml/main")
    return Namespace::SpreadsheetMain;
  if (uri == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
      uri == "http://purl.oclc.org/ooxml/officeDocument/relationships")
    return Namespace::DocumentRelationships;
  if (uri == "http://schemas.openxmlformats.org/package/2006/relationships")
    return Namespace::PackageRelationships;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:office:1.0") return Namespace::OdfOffice;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:table:1.0") return Namespace::OdfTable;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:text:1.0") return Namespace::OdfText;
  if (uri == "urn:oasis:names:tc:opendocument:xmlns:config:1.0") return Namespace::OdfConfig;
  if (uri == "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0")
    return Namespace::CalcExtension;
  return Namespace::Other;
}

void NamespaceScope::bind(std::string_view attr, std::string_view uri) {
  std::string_view prefix;
  if (attr.size() > 5) {
    if (attr[5] != ':') return;  // an attribute that only begins with "xmlns"
    prefix = attr.substr(6);
  }
  bindings_.push_back({std::string(prefix), classify(uri), defaultNamespace_, depth_});
  if (prefix.empty()) defaultNamespace_ = bindings_.back().ns;
  for (Recent& r : recent_) r.prefix.clear();
}

void NamespaceScope::unbind() {
  if (bindings_.back().prefix.empty()) defaultNamespace_ = bindings_.back().shadowedDefault;
  bindings_.pop_back();
  for (Recent& r : recent_) r.prefix.clear();
}

Namespace NamespaceScope::lookUp(std::string_view prefix) const {
  if (prefix.empty()) return search(prefix);  // the empty entries of the cache are unused
  for (const Recent& r : recent_) {
    if (r.prefix == prefix) return r.ns;
  }
  const Namespace ns = search(prefix);
  Recent& r = recent_[recentNext_++ % std::size(recent_)];
  r.prefix.assign(prefix);
  r.ns = ns;
  return ns;
}

Namespace NamespaceScope::search(std::string_view prefix) const {
  for (auto b = bindings_.rbegin(); b != bindings_.rend(); ++b) {
    if (b->prefix == prefix) return b->ns;
  }
  return prefix == "xml" ? Namespace::Other : Namespace::None;
}

const char* NamespaceScope::attribute(const char** attrs, Namespace ns,
                                      std::string_view local) const {
  for (const char** a = attrs; *a; a += 2) {
    const std::string_view name(a[0]);
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos || name.substr(colon + 1) != local) continue;
    const Namespace found = lookUp(name.substr(0, colon));
    if (found == ns || found == Namespace::None) return a[1];
  }
  return nullptr;
}

}  // namespace zandor::sheet
