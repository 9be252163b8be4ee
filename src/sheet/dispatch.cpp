#include "sheet/dispatch.h"

#include <cstring>

namespace zandor::sheet {

namespace {

bool ownsInterface(std::uint16_t vt) {
  return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

}  // namespace

Variant::Variant(const Variant& o) : llVal(0) {
  *this = o;
}

Variant::Variant(Variant&& o) noexcept : llVal(0) {
  *this = std::move(o);
}

Variant& Variant::operator=(const Variant& o) {
  if (this == &o) return *this;
  clear();
  vt = o.vt;
  std::memcpy(&llVal, &o.llVal, sizeof llVal);
  bstrVal = o.bstrVal;
  bstrIsNull = o.bstrIsNull;
  if (ownsInterface(vt) && punkVal) punkVal->AddRef();
  if ((vt & VT_ARRAY) && !(vt & VT_BYREF) && o.parray) parray = new SafeArray(*o.parray);
  return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
  if (this == &o) return *this;
  clear();
  vt = o.vt;
  std::memcpy(&llVal, &o.llVal, sizeof llVal);
  bstrVal = std::move(o.bstrVal);
  bstrIsNull = o.bstrIsNull;
  o.vt = VT_EMPTY;
  o.llVal = 0;
  return *this;
}

void Variant::clearOwned() {
  if (ownsInterface(vt) && punkVal) punkVal->Release();
  if ((vt & VT_ARRAY) && !(vt & VT_BYREF)) delete parray;
  vt = VT_EMPTY;
  llVal = 0;
  if (!bstrVal.empty()) bstrVal.clear();
  bstrIsNull = false;
}

Variant Variant::null() {
  Variant v;
  v.vt = VT_NULL;
  return v;
}

Variant Variant::i4(std::int32_t value) {
  Variant v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

Variant Variant::i8(std::int64_t value) {
  Variant v;
  v.vt = VT_I8;
  v.llVal = value;
  return v;
}

Variant Variant::r8(double value) {
  Variant v;
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

Variant Variant::boolean(bool value) {
  Variant v;
  v.vt = VT_BOOL;
  v.boolVal = value ? kVariantTrue : kVariantFalse;
  return v;
}

Variant Variant::dateValue(double serial) {
  Variant v;
  v.vt = VT_DATE;
  v.date = serial;
  return v;
}

Variant Variant::error(SCODE code) {
  Variant v;
  v.vt = VT_ERROR;
  v.scode = code;
  return v;
}

Variant Variant::bstr(std::u16string text) {
  Variant v;
  v.vt = VT_BSTR;
  v.bstrVal = std::move(text);
  return v;
}

Variant Variant::dispatch(IDispatch* object) {
  Variant v;
  v.vt = VT_DISPATCH;
  v.pdispVal = object;
  if (object) object->AddRef();
  return v;
}

Variant Variant::unknown(IUnknown* object) {
  Variant v;
  v.vt = VT_UNKNOWN;
  v.punkVal = object;
  if (object) object->AddRef();
  return v;
}

Variant Variant::array(std::unique_ptr<SafeArray> array) {
  Variant v;
  v.vt = static_cast<std::uint16_t>(VT_ARRAY | array->elementType);
  v.parray = array.release();
  return v;
}

Variant Variant::byRef(Variant* target) {
  Variant v;
  v.vt = static_cast<std::uint16_t>(VT_BYREF | VT_VARIANT);
  v.pvarVal = target;
  return v;
}

std::string_view hresultName(HRESULT code) {
  switch (code) {
    case kOk:
      return "S_OK";
    case kENotImpl:
      return "E_NOTIMPL";
    case kEFail:
      return "E_FAIL";
    case kEUnexpected:
      return "E_UNEXPECTED";
    case kDispEUnknownInterface:
      return "DISP_E_UNKNOWNINTERFACE";
    case kDispEMemberNotFound:
      return "DISP_E_MEMBERNOTFOUND";
    case kDispEParamNotFound:
      return "DISP_E_PARAMNOTFOUND";
    case kDispETypeMismatch:
      return "DISP_E_TYPEMISMATCH";
    case kDispEUnknownName:
      return "DISP_E_UNKNOWNNAME";
    case kDispENoNamedArgs:
      return "DISP_E_NONAMEDARGS";
    case kDispEBadVarType:
      return "DISP_E_BADVARTYPE";
    case kDispEException:
      return "DISP_E_EXCEPTION";
    case kDispEOverflow:
      return "DISP_E_OVERFLOW";
    case kDispEUnknownLcid:
      return "DISP_E_UNKNOWNLCID";
    case kDispEBadParamCount:
      return "DISP_E_BADPARAMCOUNT";
    case kDispEParamNotOptional:
      return "DISP_E_PARAMNOTOPTIONAL";
    case kOleEWrongCompObj:
      return "OLE_E_WRONGCOMPOBJ";
    case kRegdbEWriteRegdb:
      return "REGDB_E_WRITEREGDB";
    case kRegdbEClassNotReg:
      return "REGDB_E_CLASSNOTREG";
    case kMkEUnavailable:
      return "MK_E_UNAVAILABLE";
    case kCoEClassString:
      return "CO_E_CLASSSTRING";
    case kEOutOfMemory:
      return "E_OUTOFMEMORY";
    case kEInvalidArg:
      return "E_INVALIDARG";
    case kCoEServerExecFailure:
      return "CO_E_SERVER_EXEC_FAILURE";
    default:
      return "";
  }
}

SCODE cellErrorCode(std::string_view text) {
  // The spreadsheet application's CVErr numbers in the FACILITY_CONTROL range.
  int code = 2015;  // #VALUE! for anything unknown
  if (text == "#NULL!")
    code = 2000;
  else if (text == "#DIV/0!")
    code = 2007;
  else if (text == "#VALUE!")
    code = 2015;
  else if (text == "#REF!")
    code = 2023;
  else if (text == "#NAME?")
    code = 2029;
  else if (text == "#NUM!")
    code = 2036;
  else if (text == "#N/A" || text == "#NV")
    code = 2042;
  else if (text == "#WERT!")
    code = 2015;
  else if (text == "#BEZUG!")
    code = 2023;
  else if (text == "#ZAHL!")
    code = 2036;
  return static_cast<SCODE>(0x800A0000u | static_cast<std::uint32_t>(code));
}

std::string cellErrorText(SCODE code) {
  switch (static_cast<std::uint32_t>(code) & 0xFFFFu) {
    case 2000:
      return "#NULL!";
    case 2007:
      return "#DIV/0!";
    case 2023:
      return "#BEZUG!";
    case 2029:
      return "#NAME?";
    case 2036:
      return "#ZAHL!";
    case 2042:
      return "#NV";
    default:
      return "#WERT!";
  }
}

}  // namespace zandor::sheet
