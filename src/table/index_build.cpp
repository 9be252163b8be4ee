#include "table/index_build.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <system_error>

#include "base/error.h"
#include "base/paths.h"
#include "base/text.h"
#include "table/area_record.h"
#include "table/cdx_file.h"
#include "table/expression.h"
#include "table/index_error.h"
#include "table/index_key.h"
#include "table/index_maintenance.h"
#include "table/ntx_file.h"
#include "table/order_check.h"
#include "table/os_file.h"
#include "table/private_file.h"
#include "table/table_error.h"
#include "table/unsupported.h"

namespace zandor {

namespace {

// The first record holding a NULL value, 0 when none does.
std::uint32_t firstRecordWithNull(WorkArea& area) {
  for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
    area.goTo(r);
    if (area.recordHasNull()) return r;
  }
  return 0;
}

// Keys of NULL values carry their own marker, and which field of a record is NULL is not
// known: an order with that marker is refused over a table holding NULL values.
void refuseNullRecords(WorkArea& area, IndexFile& file) {
  for (std::size_t i = 0; i < file.orderCount(); ++i) {
    const OrderInfo& info = file.order(i).info();
    if (!info.nullMarked) continue;
    if (const std::uint32_t r = firstRecordWithNull(area)) {
      throw UnsupportedFeature(nullRecordFeature(info, r));
    }
    return;
  }
}

constexpr int kMaxCdxKeyLength = 240;
constexpr int kMaxNtxKeyLength = 256;
constexpr std::size_t kMaxCdxTagName = 10;

bool isCdxPath(const std::string& path) {
  return upperAZ(extensionPart(path)) == ".CDX";
}

std::string existingOr(const std::string& path) {
  const std::string resolved = resolveCaseInsensitive(path);
  return resolved.empty() ? path : resolved;
}

std::unique_ptr<WorkArea> openTable(const std::string& tablePath, bool cdx) {
  std::string path = tablePath;
  if (extensionPart(path).empty()) path += ".dbf";
  try {
    return WorkArea::open(existingOr(path), cdx ? "DBFCDX" : "DBFNTX", true, true);
  } catch (const TableError& e) {
    if (isUnsupportedError(e.error())) throw UnsupportedFeature(unsupportedFeatureOf(e.error()));
    throw std::runtime_error(errorForUser(e.error()));
  }
}

// Everything an order is built from.
struct OrderPlan {
  IndexDefinition definition;
  char type = 'C';
  int length = 0;
  int decimals = 0;
  NtxNumberForm numberForm = NtxNumberForm::ZeroFilled;
  bool caseInsensitive = false;
  bool candidate = false;
  bool nullMarked = false;  // keys start with the NULL marker byte
};

// Key type and length of a new order, from the key's value on the current record.
OrderPlan planFor(const WorkArea& area, const IndexDefinition& def, bool cdx) {
  const AreaRecord record(area);
  const Value v = Expression::compile(def.key, record).evaluate(record);
  OrderPlan plan;
  plan.definition = def;
  plan.type = keyTypeOf(v);
  switch (plan.type) {
    case 'C':
      plan.length = static_cast<int>(v.asText().size());
      if (plan.length < 1 || plan.length > (cdx ? kMaxCdxKeyLength : kMaxNtxKeyLength)) {
        throw std::runtime_error("Schl\xfcssell\xe4nge " + std::to_string(plan.length) +
                                 " ist nicht m\xf6glich f\xfcr " + def.key);
      }
      break;
    case 'N':
      plan.length = 8;
      if (cdx) {
        // An integer field on its own has 4-byte keys, as Visual FoxPro builds them.
        const int field = area.fieldIndex(upperAZ(trimBlanks(def.key)));
        if (field >= 0 && area.fields()[static_cast<std::size_t>(field)].type == 'I') {
          plan.type = 'I';
          plan.length = 4;
        }
      } else {
        // A single numeric field keeps its width; other expressions their display width.
        std::string name = upperAZ(trimBlanks(def.key));
        if (const auto arrow = name.find("->"); arrow != std::string::npos) {
          name = name.substr(arrow + 2);
        }
        const int field = area.fieldIndex(name);
        if (field >= 0) {
          plan.length = area.fields()[static_cast<std::size_t>(field)].length;
          plan.decimals = area.fields()[static_cast<std::size_t>(field)].decimals;
        } else {
          plan.length = v.asNumber().width;
          plan.decimals = v.asNumber().decimals;
        }
      }
      break;
    case 'D':
      plan.length = 8;
      break;
    case 'L':
      plan.length = 1;
      break;
    default:
      throw std::runtime_error("Schl\xfcsselausdruck ergibt keinen Schl\xfcsselwert: " + def.key);
  }
  return plan;
}

std::string keyOf(const OrderPlan& plan, const Value& v, bool cdx) {
  // No record we key holds NULL (such tables are refused): every value takes the marker.
  if (cdx && plan.nullMarked) {
    return "\x80" + cdxKey(v, plan.type, plan.length - 1, plan.caseInsensitive);
  }
  return cdx ? cdxKey(v, plan.type, plan.length, plan.caseInsensitive)
             : ntxKey(v, plan.type, plan.length, plan.decimals, plan.caseInsensitive,
                      plan.numberForm);
}

std::vector<IndexEntry> entriesFor(WorkArea& area, const OrderPlan& plan, bool cdx) {
  const AreaRecord record(area);
  const Expression key = Expression::compile(plan.definition.key, record);
  Expression condition;
  if (!trimBlanks(plan.definition.forCondition).empty()) {
    condition = Expression::compile(plan.definition.forCondition, record);
  }
  std::vector<IndexEntry> entries;
  entries.reserve(area.recCount());
  for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
    area.goTo(r);
    if (condition.valid()) {
      const Value ok = condition.evaluate(record);
      if (!ok.isLogical()) throw std::runtime_error("FOR-Bedingung ergibt keinen logischen Wert");
      if (!ok.asLogical()) continue;
    }
    entries.push_back({keyOf(plan, key.evaluate(record), cdx), r});
  }
  return entries;
}

// A temporary file beside the target, removed unless it was renamed into place. The new file
// takes over the mode and owner of the one it replaces.
class BuildFile {
 public:
  explicit BuildFile(const std::string& target)
      : target_(target), path_(directoryPart(target) + "." + fileNamePart(target) + ".building") {
    // Readable by its owner alone until it takes over the old file's mode: an index others may
    // not read must not be readable while it is rebuilt.
    if (fileExists(target_)) createOwnerOnlyFile(path_);
  }
  ~BuildFile() {
    std::error_code ec;
    if (!done_) std::filesystem::remove(nativePath(path_), ec);
  }
  const std::string& path() const { return path_; }
  void replaceTarget() {
    if (fileExists(target_)) {
      if (const int err = takeOverIdentity(path_, target_)) fail(err, path_);
    }
    if (const int err = replaceFile(path_, target_)) {
      throw std::runtime_error("Die neue Indexdatei kann die alte nicht ersetzen (" +
                               std::generic_category().message(err) + ")");
    }
    done_ = true;
    // Until the directory is on disk, a power loss could bring back the old name's file.
    if (const int err = syncDirectoryOf(target_)) fail(err, target_);
  }

 private:
  [[noreturn]] static void fail(int err, const std::string& path) {
    throw std::system_error(err, std::generic_category(), path);
  }

  std::string target_;
  std::string path_;
  bool done_ = false;
};

// The file a build replaces: the one the path names, symbolic links followed. A file we may
// not write is refused even where its directory would let us put another in its place.
std::string replaceableFile(const std::string& path) {
  const std::string target = linkedFile(path);
  if (const auto refusal = indexWriteRefusal(target)) throw std::runtime_error(*refusal);
  return target;
}

void buildCdx(WorkArea& area, const std::string& path, const std::vector<OrderPlan>& plans,
              bool startEmpty) {
  BuildFile build(path);
  {
    ErrorGuard guard;
    std::unique_ptr<CdxFile> file;
    if (!startEmpty && std::filesystem::exists(nativePath(path))) {
#ifdef _WIN32
      // MinGW's copy_file takes any two files of one drive for the same file (no inode
      // numbers) and refuses to copy over an existing one.
      std::filesystem::remove(nativePath(build.path()));
#endif
      std::filesystem::copy_file(nativePath(path), nativePath(build.path()),
                                 std::filesystem::copy_options::overwrite_existing);
      file = CdxFile::open(build.path(), true);
    } else {
      file = CdxFile::create(build.path());
    }
    for (const OrderPlan& plan : plans) {
      CdxFile::NewTag tag;
      tag.name = upperAZ(plan.definition.tag);
      tag.keyExpression = plan.definition.key;
      tag.forExpression = plan.definition.forCondition;
      tag.keyType = plan.type;
      tag.keyLength = plan.length;
      tag.unique = plan.definition.unique;
      tag.descending = plan.definition.descending;
      tag.caseInsensitive = plan.caseInsensitive;
      tag.candidate = plan.candidate;
      tag.nullMarked = plan.nullMarked;
      file->addTag(tag, entriesFor(area, plan, true));
    }
    file->commit();
    file->sync();  // whole on disk before it takes the old file's name
    file->close();
  }
  build.replaceTarget();
}

void buildNtx(WorkArea& area, const std::string& path, const OrderPlan& plan) {
  BuildFile build(path);
  {
    ErrorGuard guard;
    NtxFile::NewOrder order;
    order.name = plan.definition.tag;
    order.keyExpression = plan.definition.key;
    order.forExpression = plan.definition.forCondition;
    order.keyType = plan.type;
    order.keyLength = plan.length;
    order.decimals = plan.decimals;
    order.numberForm = plan.numberForm;
    order.unique = plan.definition.unique;
    order.descending = plan.definition.descending;
    std::unique_ptr<NtxFile> file =
        NtxFile::create(build.path(), order, entriesFor(area, plan, false));
    file->commit();
    file->sync();
    file->close();
  }
  build.replaceTarget();
}

std::unique_ptr<IndexFile> openIndexForReading(const std::string& path) {
  if (const auto format = unsupportedIndexFormat(path)) throw UnsupportedFeature(*format);
  if (isCdxPath(path)) return CdxFile::open(path, false);
  return NtxFile::open(path, false);
}

// Turns the failures of the layers below into one readable exception.
template <class F>
void reported(const std::string& what, F&& body) {
  try {
    body();
  } catch (const UnsupportedFeature& e) {
    throw std::runtime_error(what + ": Nicht unterst\xfctzt: " + e.what());
  } catch (const TableError& e) {
    throw std::runtime_error(what + ": " + errorForUser(e.error()));
  } catch (const ErrorException& e) {
    throw std::runtime_error(what + ": " + errorForUser(e.error()));
  } catch (const std::system_error& e) {
    throw std::runtime_error(what + ": " + systemErrorText(e));
  } catch (const std::exception& e) {
    throw std::runtime_error(what + ": " + e.what());
  }
}

}  // namespace

void createIndex(const std::string& tablePath, const std::string& indexPath,
                 const IndexDefinition& definition) {
  const bool cdx = isCdxPath(indexPath);
  if (cdx && (definition.tag.empty() || definition.tag.size() > kMaxCdxTagName)) {
    throw std::runtime_error("ein CDX-Tag braucht einen Namen von 1 bis 10 Zeichen");
  }
  reported(indexPath, [&] {
    const std::string target = replaceableFile(existingOr(indexPath));
    std::unique_ptr<WorkArea> area = openTable(tablePath, cdx);
    const OrderPlan plan = planFor(*area, definition, cdx);
    if (cdx) {
      buildCdx(*area, target, {plan}, false);
    } else {
      buildNtx(*area, target, plan);
    }
  });
}

void createIndex(const std::string& tablePath, const std::string& indexPath, const std::string& tag,
                 const std::string& key, const std::string& forCondition, bool unique,
                 bool descending) {
  createIndex(tablePath, indexPath, IndexDefinition{tag, key, forCondition, unique, descending});
}

void reindexFile(const std::string& tablePath, const std::string& indexPath) {
  const bool cdx = isCdxPath(indexPath);
  reported(indexPath, [&] {
    const std::string path = replaceableFile(existingOr(indexPath));
    std::unique_ptr<WorkArea> area = openTable(tablePath, cdx);
    std::vector<OrderPlan> plans;
    {
      std::unique_ptr<IndexFile> old = openIndexForReading(path);
      bindOrders(*old, cdx ? IndexDriver::Cdx : IndexDriver::Ntx, AreaRecord(*area));
      refuseNullRecords(*area, *old);
      for (std::size_t i = 0; i < old->orderCount(); ++i) {
        const OrderInfo& info = old->order(i).info();
        if (const auto feature = unwritableOrderFeature(info)) throw UnsupportedFeature(*feature);
        OrderPlan plan;
        plan.definition = {info.name, info.keyExpression, info.forExpression, info.unique,
                           info.descending};
        plan.type = info.keyType;
        plan.length = info.keyLength;
        plan.decimals = info.decimals;
        plan.numberForm = info.numberForm;
        plan.caseInsensitive = info.caseInsensitive;
        plan.candidate = info.candidate;
        plan.nullMarked = info.nullMarked;
        plans.push_back(plan);
      }
    }
    if (plans.empty()) throw std::runtime_error("die Datei enth\xe4lt keinen Index");
    if (cdx) {
      buildCdx(*area, path, plans, true);
    } else {
      buildNtx(*area, path, plans.front());
    }
  });
}

std::optional<std::string> indexWriteRefusal(const std::string& indexPath) {
  OsFile probe;
  int err = probe.open(linkedFile(existingOr(indexPath)), false);
  // A file system that fails even the close of an untouched file would fail the rebuild's.
  if (err == 0) err = probe.close();
  if (err == 0 || err == ENOENT) return std::nullopt;
  if (err == EACCES || err == EPERM || err == EROFS) {
    return std::string("Keine Schreibrechte f\xfcr die Indexdatei");
  }
  return std::string(
      "Die Indexdatei kann nicht zum Schreiben ge\xf6"
      "ffnet werden");
}

std::optional<std::string> unsupportedIndexFeature(const std::string& tablePath,
                                                   const std::string& indexPath) {
  const bool cdx = isCdxPath(indexPath);
  try {
    std::unique_ptr<WorkArea> area = openTable(tablePath, cdx);
    std::unique_ptr<IndexFile> file = openIndexForReading(existingOr(indexPath));
    bindOrders(*file, cdx ? IndexDriver::Cdx : IndexDriver::Ntx, AreaRecord(*area));
    for (std::size_t i = 0; i < file->orderCount(); ++i) {
      if (const auto feature = unwritableOrderFeature(file->order(i).info())) return feature;
    }
    refuseNullRecords(*area, *file);
  } catch (const UnsupportedFeature& e) {
    return std::string(e.what());
  } catch (const std::exception&) {
    // Other failures are the check's to report.
  }
  return std::nullopt;
}

std::vector<std::string> checkIndex(const std::string& tablePath, const std::string& indexPath) {
  std::vector<std::string> problems;
  const bool cdx = isCdxPath(indexPath);
  std::unique_ptr<WorkArea> area;
  try {
    area = openTable(tablePath, cdx);
  } catch (const UnsupportedFeature& e) {
    return {std::string("Tabelle: Nicht unterst\xfctzt: ") + e.what()};
  } catch (const std::exception& e) {
    return {std::string("Tabelle: ") + e.what()};
  }
  const IndexDriver driver = cdx ? IndexDriver::Cdx : IndexDriver::Ntx;
  ErrorGuard guard;
  try {
    std::unique_ptr<IndexFile> file = openIndexForReading(existingOr(indexPath));
    std::vector<BoundOrder> orders = bindOrders(*file, driver, AreaRecord(*area));
    if (cdx) {
      for (const std::string& p : static_cast<CdxFile&>(*file).check().problems) {
        problems.push_back("Datei: " + p);
      }
    }
    for (BoundOrder& order : orders) {
      const OrderInfo& info = order.order->info();
      const std::string name = info.name.empty() ? std::string("(Index)") : info.name;
      const CheckReport report = order.order->check();
      for (const std::string& p : report.problems) problems.push_back(name + ": " + p);
      if (!report.ok() || info.custom) continue;
      if (const auto feature = unwritableOrderFeature(info)) {
        problems.push_back(name + ": Nicht unterst\xfctzt: " + *feature);
        continue;
      }
      if (info.nullMarked) {
        if (const std::uint32_t r = firstRecordWithNull(*area)) {
          problems.push_back(name + ": Nicht unterst\xfctzt: " + nullRecordFeature(info, r));
          continue;
        }
      }
      for (std::string& p : keysAgainstRecords(*area, order)) problems.push_back(std::move(p));
    }
  } catch (const UnsupportedFeature& e) {
    problems.push_back(std::string("Nicht unterst\xfctzt: ") + e.what());
  } catch (const ErrorException& e) {
    problems.push_back(errorForUser(e.error()));
  } catch (const TableError& e) {
    problems.push_back(errorForUser(e.error()));
  } catch (const std::system_error& e) {
    problems.push_back(systemErrorText(e));
  } catch (const std::exception& e) {
    problems.push_back(e.what());
  }
  return problems;
}

}  // namespace zandor
