#include "sheet/ole_auto.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <typeinfo>
#include <vector>

#include "base/date.h"
#include "base/encoding.h"
#include "base/error.h"
#include "sheet/recycled_blocks.h"
#include "sheet/server_registry.h"
#include "sheet/trace_log.h"

namespace zandor::sheet {

namespace {

constexpr double kMillisPerDay = 86400000.0;

std::string hex8(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

void traceUnexpectedType(std::uint16_t vt, int line) {
  traceLine("Unexpected type " + hex8(vt) + " in: ole_auto.cpp(" + std::to_string(line) + ")!");
}

std::string resultName(HRESULT code) {
  const std::string_view name = hresultName(code);
  if (!name.empty()) return std::string(name);
  traceLine("TOleAuto Error " + hex8(static_cast<std::uint32_t>(code)));
  return "Unknown error";
}

Error automationError(std::string description, std::string_view operation) {
  Error e;
  e.genCode = gen::kAutomation;
  e.severity = 2;
  e.subsystem = "TOleAuto";
  e.description = std::move(description);
  e.operation = std::string(operation);
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

// Member names are short ASCII words; converting them needs no allocation in the common case.
class WideName {
 public:
  explicit WideName(std::string_view name) {
    if (name.size() <= kInline) {
      for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        inline_[i] = static_cast<char16_t>(c < 0x80 ? c : cp1252ToCodePoint(c));
      }
      view_ = std::u16string_view(inline_, name.size());
    } else {
      heap_ = cp1252ToUtf16(name);
      view_ = heap_;
    }
  }
  std::u16string_view view() const { return view_; }

 private:
  static constexpr std::size_t kInline = 48;
  char16_t inline_[kInline];
  std::u16string heap_;
  std::u16string_view view_;
};

// The arguments as variants, last first as COM expects them; a few live on the stack.
class ArgumentBuffer {
 public:
  explicit ArgumentBuffer(std::span<const Value> args) : count_(args.size()) {
    if (count_ > kInline) {
      heap_.reserve(count_);
      for (std::size_t i = count_; i-- > 0;) heap_.push_back(valueToVariant(args[i]));
      data_ = heap_.data();
    } else {
      data_ = reinterpret_cast<Variant*>(inline_);
      std::size_t made = 0;
      try {
        for (; made < count_; ++made)
          new (data_ + made) Variant(valueToVariant(args[count_ - 1 - made]));
      } catch (...) {
        while (made > 0) data_[--made].~Variant();
        throw;
      }
    }
  }
  ~ArgumentBuffer() {
    if (count_ <= kInline) {
      for (std::size_t i = 0; i < count_; ++i) data_[i].~Variant();
    }
  }
  ArgumentBuffer(const ArgumentBuffer&) = delete;
  ArgumentBuffer& operator=(const ArgumentBuffer&) = delete;
  Variant* data() { return data_; }

 private:
  static constexpr std::size_t kInline = 4;
  alignas(Variant) unsigned char inline_[kInline * sizeof(Variant)];
  std::vector<Variant> heap_;
  std::size_t count_;
  Variant* data_;
};

struct Outcome {
  HRESULT last = kEFail;  // the last result that says more than "no such kind of member"
  bool informative = false;
  HRESULT exception = kOk;  // kDispEException when any attempt raised one
  std::u16string exceptionText;
};

// Steps 2 and 3 of a request on one object: name lookup, then the invoke order.
bool invokeByName(IDispatch* target, std::string_view name, Variant* args, std::uint32_t argc,
                  Variant* result, Outcome& outcome) {
  bool assignment = name.size() > 1 && name.front() == '_' && argc > 0;
  DISPID id = kDispidUnknown;
  HRESULT h = kEFail;
  if (assignment) {
    h = target->GetIDsOfNames(WideName(name.substr(1)).view(), kLocaleSystemDefault, &id);
    if (hrFailed(h)) assignment = false;
  }
  if (!assignment) h = target->GetIDsOfNames(WideName(name).view(), kLocaleSystemDefault, &id);
  if (hrFailed(h)) {
    outcome.last = h;
    return false;
  }

  ExcepInfo excep;
  auto attempt = [&](std::uint16_t flags, bool named) {
    static const DISPID kPut = kDispidPropertyPut;
    DispParams params{args, argc, named ? &kPut : nullptr, named ? 1u : 0u};
    const bool put = flags & (kDispatchPropertyPut | kDispatchPropertyPutRef);
    h = target->Invoke(id, kLocaleSystemDefault, flags, params, put ? nullptr : result, &excep);
    if (h != kDispEMemberNotFound || !outcome.informative) outcome.last = h;
    if (h != kDispEMemberNotFound) outcome.informative = true;
    if (h == kDispEException) {
      outcome.exception = h;
      outcome.exceptionText = excep.description;
    }
    if (hrSucceeded(h) && put) {
      // A put yields its first argument (the only one of an assignment).
      *result = args[argc - 1];
    }
    return hrSucceeded(h);
  };

  if (assignment) {
    const Variant& value = args[0];
    if (value.vt == VT_DISPATCH && attempt(kDispatchPropertyPutRef, true)) return true;
    if (attempt(kDispatchPropertyPut, true)) return true;
  }
  if (attempt(kDispatchMethod, false)) return true;
  if (attempt(kDispatchPropertyGet, false)) return true;
  if (!assignment && argc > 0 && attempt(kDispatchPropertyPut, false)) return true;
  return false;
}

Value arrayToValue(const SafeArray& array) {
  std::vector<Value> items;
  if (array.bounds.size() == 2) {
    // Rows of a two-dimensional array (first index fastest in the data).
    const std::uint32_t rows = array.bounds[0].count, cols = array.bounds[1].count;
    items.reserve(rows);
    for (std::uint32_t r = 0; r < rows; ++r) {
      std::vector<Value> row;
      row.reserve(cols);
      for (std::uint32_t c = 0; c < cols; ++c) {
        const std::size_t at = r + static_cast<std::size_t>(rows) * c;
        row.push_back(at < array.data.size() ? variantToValue(array.data[at]) : Value());
      }
      items.push_back(Value::list(std::move(row)));
    }
  } else {
    items.reserve(array.data.size());
    for (const Variant& v : array.data) items.push_back(variantToValue(v));
  }
  return Value::list(std::move(items));
}

}  // namespace

Variant valueToVariant(const Value& value) {
  switch (value.kind()) {
    case Value::Kind::Empty:
      return Variant::empty();
    case Value::Kind::Text:
      return Variant::bstr(cp1252ToUtf16(value.asText()));
    case Value::Kind::Number: {
      const Number& n = value.asNumber();
      if (!n.isInteger) return Variant::r8(n.real);
      if (n.integer >= std::numeric_limits<std::int32_t>::min() &&
          n.integer <= std::numeric_limits<std::int32_t>::max())
        return Variant::i4(static_cast<std::int32_t>(n.integer));
      return Variant::i8(n.integer);
    }
    case Value::Kind::Date: {
      const Date& d = value.asDate();
      if (d.day == 0) return Variant::null();
      return Variant::dateValue(static_cast<double>(d.day - kDay18991230) +
                                d.millis / kMillisPerDay);
    }
    case Value::Kind::Logical:
      return Variant::boolean(value.asLogical());
    case Value::Kind::List: {
      auto array = std::make_unique<SafeArray>();
      array->bounds.push_back({0, static_cast<std::uint32_t>(value.asList().size())});
      for (const Value& item : value.asList()) array->data.push_back(valueToVariant(item));
      return Variant::array(std::move(array));
    }
    case Value::Kind::Object: {
      const auto* ole = dynamic_cast<const TOleAuto*>(value.asObject().get());
      return ole ? Variant::dispatch(ole->dispatch()) : Variant::empty();
    }
    case Value::Kind::Error:
      return Variant::error(cellErrorCode(value.asErrorText()));
  }
  return Variant::empty();
}

Value variantToValue(const Variant& variant) {
  const Variant* p = &variant;
  while ((p->vt & VT_BYREF) && p->pvarVal) p = p->pvarVal;
  const Variant& v = *p;
  if (v.vt & VT_ARRAY) {
    if (v.parray) return arrayToValue(*v.parray);
    traceUnexpectedType(v.vt, __LINE__);
    return Value();
  }
  auto real = [](double d) {
    const int width = (d > 9999999999.0 || d < -999999999.0) ? 20 : 10;
    return Value::real(d, 2, width);
  };
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return Value();
    case VT_BSTR:
      return Value::text(v.bstrIsNull ? std::string() : utf16ToCp1252(v.bstrVal));
    case VT_R8:
    case VT_DECIMAL:  // carried as a double in our layer
      return real(v.dblVal);
    case VT_R4:
      return real(v.fltVal);
    case VT_CY:
      return real(static_cast<double>(v.cyVal) / 10000.0);
    case VT_I1:
      return Value::integer(v.cVal);
    case VT_UI1:
      return Value::integer(v.bVal);
    case VT_I2:
      return Value::integer(v.iVal);
    case VT_UI2:
      return Value::integer(v.uiVal);
    case VT_I4:
    case VT_INT:
      return Value::integer(v.lVal);
    case VT_UI4:
    case VT_UINT:
      return Value::integer(v.ulVal);
    case VT_BOOL:
      return Value::logical(v.boolVal != 0);
    case VT_ERROR:
      // A cell showing an error value: not empty, and not data either.
      return Value::error(cellErrorText(v.scode));
    case VT_DATE: {
      const double x = v.date + kDay18991230;
      if (!std::isfinite(x) || x < 1 || x > 5373484) {  // outside the years 1 to 9999
        traceUnexpectedType(v.vt, __LINE__);
        return Value();
      }
      // The time of day is rounded to the millisecond. Truncating and then adding one
      // would turn every exact time such as 08:15:00 into 08:15:00.001.
      double day = std::trunc(x);
      auto millis = static_cast<std::int32_t>(std::llround((x - day) * kMillisPerDay));
      if (millis >= 86400000) {
        day += 1;
        millis = 0;
      }
      return Value::date(static_cast<std::int32_t>(day), millis);
    }
    case VT_DISPATCH:
      if (!v.pdispVal) return Value();
      // One per cell read: the block is recycled.
      return Value::object(std::allocate_shared<TOleAuto>(RecyclingAllocator<TOleAuto>(),
                                                          ComPtr<IDispatch>(v.pdispVal)));
    case VT_UNKNOWN: {
      void* out = nullptr;
      if (v.punkVal && hrSucceeded(v.punkVal->QueryInterface(InterfaceId::Dispatch, &out)) && out) {
        auto dispatch = ComPtr<IDispatch>::adopt(static_cast<IDispatch*>(out));
        return Value::object(std::make_shared<TOleAuto>(std::move(dispatch)));
      }
      traceUnexpectedType(v.vt, __LINE__);
      return Value();
    }
    default:
      traceUnexpectedType(v.vt, __LINE__);
      return Value();
  }
}

Value TOleAuto::request(std::string_view name, std::span<const Value> args) {
  for (;;) {
    ArgumentBuffer argv(args);
    const auto argc = static_cast<std::uint32_t>(args.size());

    Variant result;
    Outcome outcome;
    bool done =
        dispatch_ && invokeByName(dispatch_.get(), name, argv.data(), argc, &result, outcome);
    if (!done && dispatch_) {
      // Once: the object's default member, and the request again on what it is.
      Variant fallback;
      DispParams none;
      ExcepInfo excep;
      const HRESULT h = dispatch_->Invoke(kDispidValue, kLocaleSystemDefault, kDispatchPropertyGet,
                                          none, &fallback, &excep);
      if (hrSucceeded(h) && fallback.vt == VT_DISPATCH && fallback.pdispVal) {
        done = invokeByName(fallback.pdispVal, name, argv.data(), argc, &result, outcome);
      }
    }
    if (done) return variantToValue(result);

    // The server's own words explain a failure better than whichever attempt came last.
    std::string description = outcome.exception == kDispEException
                                  ? utf16ToCp1252(outcome.exceptionText)
                                  : resultName(outcome.last);
    if (outcome.exception == kDispEException && description.empty())
      description = "DISP_E_EXCEPTION";
    Error e = automationError(std::move(description), name);
    e.args = std::vector<Value>(args.begin(), args.end());
    if (raiseError(e) == ErrorAnswer::Retry) continue;
    return Value();
  }
}

Value CreateObject(std::string_view progId) {
  for (;;) {
    const std::u16string wide = cp1252ToUtf16(progId);
    std::string classId;
    HRESULT h = !wide.empty() && wide.front() == u'{' ? classIdFromString(wide, &classId)
                                                      : classIdFromProgId(wide, &classId);
    IDispatch* raw = nullptr;
    if (hrSucceeded(h)) h = createInstance(classId, kClsctxServer, &raw);
    if (hrSucceeded(h) && raw) {
      return Value::object(std::make_shared<TOleAuto>(ComPtr<IDispatch>::adopt(raw)));
    }
    if (hrSucceeded(h)) h = kEUnexpected;
    Error e = automationError(resultName(h), "CREATEOBJECT");
    e.subCode = -1;
    e.args = std::vector<Value>{Value::text(std::string(progId))};
    if (raiseError(e) == ErrorAnswer::Retry) continue;
    return Value();
  }
}

Value oleRequest(const Value& object, std::string_view name, std::initializer_list<Value> args) {
  for (;;) {
    // TOleAuto is final: comparing the type is enough, and cheaper than a dynamic cast.
    AutomationObject* held = object.isObject() ? object.asObject().get() : nullptr;
    auto* ole = held && typeid(*held) == typeid(TOleAuto) ? static_cast<TOleAuto*>(held) : nullptr;
    if (ole) return ole->request(name, args);
    Error e = automationError("Kein Automatisierungsobjekt", name);
    e.canRetry = false;
    if (raiseError(e) == ErrorAnswer::Retry) continue;
    return Value();
  }
}

}  // namespace zandor::sheet
