#include "sheet/dispatch_object.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zandor::sheet {

namespace {

char16_t lowerAscii(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // callers mostly spell names as the server does
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

const Variant& readThrough(const Variant& v) {
  const Variant* p = &v;
  while ((p->vt & VT_BYREF) && p->pvarVal) p = p->pvarVal;
  return *p;
}

}  // namespace

const Variant& CallArgs::operator[](std::uint32_t i) const {
  return readThrough(params_.args[params_.argCount - 1 - i]);
}

HRESULT argToInt(const Variant& v, std::int32_t* out) {
  double d;
  switch (v.vt) {
    case VT_I2:
      *out = v.iVal;
      return kOk;
    case VT_I4:
    case VT_INT:
      *out = v.lVal;
      return kOk;
    case VT_UI1:
      *out = v.bVal;
      return kOk;
    case VT_I8:
      if (v.llVal < std::numeric_limits<std::int32_t>::min() ||
          v.llVal > std::numeric_limits<std::int32_t>::max())
        return kDispEOverflow;
      *out = static_cast<std::int32_t>(v.llVal);
      return kOk;
    case VT_BOOL:
      *out = v.boolVal;
      return kOk;
    case VT_R4:
      d = v.fltVal;
      break;
    case VT_R8:
      d = v.dblVal;
      break;
    case VT_BSTR: {
      std::string digits;
      for (char16_t c : v.bstrVal) {
        if (c > 0x7F) return kDispETypeMismatch;
        digits += static_cast<char>(c);
      }
      auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), d);
      if (ec != std::errc() || end != digits.data() + digits.size()) return kDispETypeMismatch;
      break;
    }
    default:
      return kDispETypeMismatch;
  }
  if (!std::isfinite(d) || d < -2147483648.5 || d >= 2147483647.5) return kDispEOverflow;
  *out = static_cast<std::int32_t>(std::nearbyint(d));
  return kOk;
}

HRESULT argToBool(const Variant& v, bool* out) {
  std::int32_t n;
  if (v.vt == VT_BOOL) {
    *out = v.boolVal != 0;
    return kOk;
  }
  HRESULT h = argToInt(v, &n);
  if (hrFailed(h)) return h;
  *out = n != 0;
  return kOk;
}

HRESULT argToText(const Variant& v, std::u16string* out) {
  if (v.vt != VT_BSTR) return kDispETypeMismatch;
  *out = v.bstrVal;
  return kOk;
}

HRESULT serverException(ExcepInfo* excepInfo, std::u16string description) {
  if (excepInfo) {
    excepInfo->source = u"Zandor Tabellenserver";
    excepInfo->description = std::move(description);
    excepInfo->scode = kEFail;
  }
  return kDispEException;
}

std::uint32_t DispatchObject::Release() {
  const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT DispatchObject::QueryInterface(InterfaceId, void** out) {
  // Every object of ours is a dispatch object, and IUnknown is its first base.
  AddRef();
  *out = static_cast<IDispatch*>(this);
  return kOk;
}

HRESULT DispatchObject::GetIDsOfNames(std::u16string_view name, std::uint32_t, DISPID* id) {
  for (const MemberInfo& m : members()) {
    if (sameName(m.name, name)) {
      *id = m.id;
      return kOk;
    }
  }
  *id = kDispidUnknown;
  return kDispEUnknownName;
}

HRESULT DispatchObject::Invoke(DISPID id, std::uint32_t, std::uint16_t flags, DispParams& params,
                               Variant* result, ExcepInfo* excepInfo) {
  const MemberInfo* member = nullptr;
  for (const MemberInfo& m : members()) {
    if (m.id == id) {
      member = &m;
      break;
    }
  }
  if (!member) return kDispEMemberNotFound;
  const std::uint16_t kind = flags & member->kinds;
  if (kind == 0) return kDispEMemberNotFound;
  const bool put = kind & (kDispatchPropertyPut | kDispatchPropertyPutRef);
  if (params.namedCount > (put ? 1u : 0u)) return kDispENoNamedArgs;
  if (put && (params.namedCount != 1 || params.namedArgs[0] != kDispidPropertyPut))
    return kDispEParamNotFound;
  // A call that may be answered either way (method or get) goes to the first kind asked.
  std::uint16_t one = kDispatchMethod;
  while (!(kind & one)) one <<= 1;
  if (result) result->clear();
  return invokeMember(id, one, CallArgs(params), result, excepInfo);
}

}  // namespace zandor::sheet
