#include "table/index_open.h"

#include <cctype>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "table/cdx_file.h"
#include "table/index_error.h"
#include "table/index_key.h"
#include "table/ntx_file.h"
#include "table/unsupported.h"

namespace zandor {

const char* driverName(IndexDriver driver) {
  return driver == IndexDriver::Cdx ? "DBFCDX" : "DBFNTX";
}

std::string BoundOrder::keyOf(const RecordContext& record) const {
  // A C key of a field (or UPPER of one) is the field's bytes, upper-cased as asked, cut or
  // padded to the key length: made directly, it saves the evaluation's copies per key.
  const OrderInfo& info = order->info();
  if (const auto& form = keyForm; form && info.keyType == 'C' && !info.nullMarked) {
    if (const auto bytes = record.textFieldBytes(form->field)) {
      std::string k = padRight(*bytes, static_cast<std::size_t>(info.keyLength));
      if (form->upper || info.caseInsensitive) upperAZInPlace(k);
      return k;
    }
  }
  return order->keyFor(key.evaluate(record));
}

bool BoundOrder::qualifies(const RecordContext& record) const {
  if (!forCondition.valid()) return true;
  Value v = forCondition.evaluate(record);
  if (!v.isLogical()) throw ExpressionError("FOR-Bedingung ergibt keinen logischen Wert");
  return v.asLogical();
}

namespace {

// The field a key expression names on its own ("ID", "calls.id", "calls->id"), else -1.
int singleField(const std::string& expression, const RecordContext& record) {
  std::string name = upperAZ(trimBlanks(expression));
  if (const auto arrow = name.find("->"); arrow != std::string::npos) name = name.substr(arrow + 2);
  if (const auto dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);
  return record.fieldIndex(name);
}

// A name in the expression longer than a table's field names can be: a field of a database
// container, whose long names only the container knows.
bool namesLongField(const std::string& expression, const RecordContext& record) {
  std::string word;
  auto longUnknown = [&] { return word.size() > 10 && record.fieldIndex(upperAZ(word)) < 0; };
  for (char c : expression) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word.push_back(c);
      continue;
    }
    if (c != '(' && longUnknown()) return true;
    word.clear();
  }
  return longUnknown();
}

}  // namespace

std::vector<BoundOrder> bindOrders(IndexFile& file, IndexDriver driver,
                                   const RecordContext& record) {
  std::vector<BoundOrder> bound;
  for (std::size_t i = 0; i < file.orderCount(); ++i) {
    IndexOrder& order = file.order(i);
    const OrderInfo& info = order.info();
    BoundOrder b;
    b.order = &order;
    try {
      b.key = Expression::compile(info.keyExpression, record);
      b.keyForm = b.key.fieldForm();
      const Value sample = b.key.evaluate(record);
      char type = keyTypeOf(sample);
      if (type == 'N' && driver == IndexDriver::Cdx &&
          info.keyLength - (info.nullMarked ? 1 : 0) == 4) {
        const int field = singleField(info.keyExpression, record);
        if (field >= 0 && record.field(field).type == 'I') type = 'I';
      }
      // The marker byte of nullable keys comes before the value's bytes.
      const int valueLength = info.keyLength - (info.nullMarked ? 1 : 0);
      bool lengthFits = true;
      if (type == '?') lengthFits = false;
      if (type == 'N' && driver == IndexDriver::Cdx) lengthFits = valueLength == 8;
      if (type == 'D') lengthFits = valueLength == 8;
      if (type == 'L') lengthFits = valueLength == 1;
      if (!lengthFits) {
        throw IndexDamage("Schl\xfcsseltyp " + std::string(1, type) +
                          " passt nicht zur Schl\xfcssell\xe4nge " +
                          std::to_string(info.keyLength) + " of " + info.name);
      }
      order.setKeyType(type);
      order.adoptKeySample(sample);
      if (!info.forExpression.empty()) {
        b.forCondition = Expression::compile(info.forExpression, record);
        if (!b.forCondition.evaluate(record).isLogical()) {
          throw IndexDamage("FOR-Bedingung von " + info.name + " ergibt keinen logischen Wert");
        }
      }
    } catch (const ExpressionError& e) {
      if (record.inDatabaseContainer() && (namesLongField(info.keyExpression, record) ||
                                           namesLongField(info.forExpression, record))) {
        throw UnsupportedFeature("Tag " + info.name +
                                 " mit langen Feldnamen einer Datenbank (DBC)");
      }
      throw IndexDamage(info.name + ": " + e.what());
    }
    bound.push_back(std::move(b));
  }
  return bound;
}

std::unique_ptr<OpenIndex> openIndexFile(const std::string& path, IndexDriver driver, bool writable,
                                         const RecordContext& record, PageMapping mapping) {
  for (;;) {
    try {
      if (const auto format = unsupportedIndexFormat(path)) throw UnsupportedFeature(*format);
      auto result = std::make_unique<OpenIndex>();
      if (driver == IndexDriver::Cdx) {
        result->file = CdxFile::open(path, writable, mapping);
      } else {
        result->file = NtxFile::open(path, writable, mapping);
      }
      result->orders = bindOrders(*result->file, driver, record);
      // Keys we cannot write as the file's writer does are refused before the first write.
      for (std::size_t i = 0; writable && i < result->file->orderCount(); ++i) {
        if (const auto f = unwritableOrderFeature(result->file->order(i).info())) {
          throw UnsupportedFeature(*f);
        }
      }
      return result;
    } catch (const UnsupportedFeature& e) {
      raiseError(unsupportedError(driverName(driver), path, e.what()));
      return nullptr;
    } catch (const IndexDamage& e) {
      if (raiseError(indexDamageError(driverName(driver), path, e.what())) == ErrorAnswer::Retry) {
        continue;
      }
      return nullptr;
    } catch (const std::system_error& e) {
      if (raiseError(indexOpenError(driverName(driver), path, e.code().value())) ==
          ErrorAnswer::Retry) {
        continue;
      }
      return nullptr;
    }
  }
}

}  // namespace zandor
