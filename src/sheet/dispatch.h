#pragma once

// A small automation layer of our own, shaped like OLE automation: reference-counted
// objects, IDispatch with GetIDsOfNames/Invoke, HRESULT codes with the Windows values,
// VARIANTs and arrays of them. The bridge (ole_auto.h) talks to servers only through it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zandor::sheet {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;
using SCODE = std::int32_t;

constexpr HRESULT hr(std::uint32_t code) {
  return static_cast<HRESULT>(code);
}

constexpr HRESULT kOk = 0;
constexpr HRESULT kENotImpl = hr(0x80004001);
constexpr HRESULT kENoInterface = hr(0x80004002);
constexpr HRESULT kEFail = hr(0x80004005);
constexpr HRESULT kEUnexpected = hr(0x8000FFFF);
constexpr HRESULT kEOutOfMemory = hr(0x8007000E);
constexpr HRESULT kEInvalidArg = hr(0x80070057);
constexpr HRESULT kDispEUnknownInterface = hr(0x80020001);
constexpr HRESULT kDispEMemberNotFound = hr(0x80020003);
constexpr HRESULT kDispEParamNotFound = hr(0x80020004);
constexpr HRESULT kDispETypeMismatch = hr(0x80020005);
constexpr HRESULT kDispEUnknownName = hr(0x80020006);
constexpr HRESULT kDispENoNamedArgs = hr(0x80020007);
constexpr HRESULT kDispEBadVarType = hr(0x80020008);
constexpr HRESULT kDispEException = hr(0x80020009);
constexpr HRESULT kDispEOverflow = hr(0x8002000A);
constexpr HRESULT kDispEUnknownLcid = hr(0x8002000C);
constexpr HRESULT kDispEBadParamCount = hr(0x8002000E);
constexpr HRESULT kDispEParamNotOptional = hr(0x8002000F);
constexpr HRESULT kOleEWrongCompObj = hr(0x8004000E);
constexpr HRESULT kRegdbEWriteRegdb = hr(0x80040151);
constexpr HRESULT kRegdbEClassNotReg = hr(0x80040154);
constexpr HRESULT kMkEUnavailable = hr(0x800401E3);
constexpr HRESULT kCoEClassString = hr(0x800401F3);
constexpr HRESULT kCoEServerExecFailure = hr(0x80080005);

constexpr bool hrSucceeded(HRESULT h) {
  return h >= 0;
}
constexpr bool hrFailed(HRESULT h) {
  return h < 0;
}

constexpr std::uint16_t kDispatchMethod = 0x1;
constexpr std::uint16_t kDispatchPropertyGet = 0x2;
constexpr std::uint16_t kDispatchPropertyPut = 0x4;
constexpr std::uint16_t kDispatchPropertyPutRef = 0x8;

constexpr DISPID kDispidValue = 0;
constexpr DISPID kDispidUnknown = -1;
constexpr DISPID kDispidPropertyPut = -3;

constexpr std::uint32_t kLocaleSystemDefault = 0x0800;
constexpr std::uint32_t kClsctxInprocServer = 0x1;
constexpr std::uint32_t kClsctxLocalServer = 0x4;
constexpr std::uint32_t kClsctxRemoteServer = 0x10;
constexpr std::uint32_t kClsctxServer = 0x15;

// The interfaces an object can be asked for.
enum class InterfaceId { Unknown, Dispatch };

enum VARTYPE : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

constexpr std::int16_t kVariantTrue = -1;
constexpr std::int16_t kVariantFalse = 0;

// Reference counting as COM does it; objects delete themselves at zero.
class IUnknown {
 public:
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;
  // Sets *out to an added reference of the asked interface, or answers kENoInterface.
  virtual HRESULT QueryInterface(InterfaceId iid, void** out) = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Owns one reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) {  // NOLINT: adds a reference, like CComPtr
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  // Takes over a reference the caller already holds.
  static ComPtr adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

struct SafeArray;
class IDispatch;

// A VARIANT. Text is a BSTR held as UTF-16 (bstrIsNull tells a null BSTR from ""); object
// and array members own what they point to. A by-reference variant points at another
// variant it does not own.
struct Variant {
  std::uint16_t vt = VT_EMPTY;
  union {
    std::int64_t llVal;
    std::int32_t lVal;
    std::int16_t iVal;
    std::int16_t boolVal;
    std::int8_t cVal;
    std::uint8_t bVal;
    std::uint16_t uiVal;
    std::uint32_t ulVal;
    SCODE scode;
    float fltVal;
    double dblVal;
    double date;
    std::int64_t cyVal;  // currency: value times 10,000
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SafeArray* parray;
    Variant* pvarVal;
  };
  std::u16string bstrVal;
  bool bstrIsNull = false;

  Variant() : llVal(0) {}
  Variant(const Variant& o);
  Variant(Variant&& o) noexcept;
  Variant& operator=(const Variant& o);
  Variant& operator=(Variant&& o) noexcept;
  ~Variant() { clear(); }

  // Back to VT_EMPTY, releasing what it owns (VariantClear). Most variants cleared are
  // already empty, so that case stays inline.
  void clear() {
    if (vt != VT_EMPTY || bstrIsNull || !bstrVal.empty()) clearOwned();
  }

  static Variant empty() { return Variant(); }
  static Variant null();
  static Variant i4(std::int32_t v);
  static Variant i8(std::int64_t v);
  static Variant r8(double v);
  static Variant boolean(bool v);
  static Variant dateValue(double serial);
  static Variant error(SCODE code);
  static Variant bstr(std::u16string text);
  // Takes an added reference to the object (nullptr is allowed).
  static Variant dispatch(IDispatch* object);
  static Variant unknown(IUnknown* object);
  // Takes ownership of the array; elementType is the VT of its elements.
  static Variant array(std::unique_ptr<SafeArray> array);
  static Variant byRef(Variant* target);

 private:
  void clearOwned();
};

// A rectangular array of variants (one or two dimensions, first index varies fastest as in
// a SAFEARRAY). Bounds are inclusive; lower bounds are usually 1 for ranges.
struct SafeArray {
  struct Bound {
    std::int32_t lower = 0;
    std::uint32_t count = 0;
  };
  std::uint16_t elementType = VT_VARIANT;
  std::vector<Bound> bounds;
  std::vector<Variant> data;
};

// Arguments of one Invoke; as in COM, args[0] is the LAST positional argument.
struct DispParams {
  Variant* args = nullptr;
  std::uint32_t argCount = 0;
  const DISPID* namedArgs = nullptr;
  std::uint32_t namedCount = 0;
};

// What a server tells about a failure it answered with kDispEException.
struct ExcepInfo {
  std::uint16_t code = 0;
  std::u16string source;
  std::u16string description;
  SCODE scode = 0;
};

class IDispatch : public IUnknown {
 public:
  // One name at a time is all the bridge needs.
  virtual HRESULT GetIDsOfNames(std::u16string_view name, std::uint32_t lcid, DISPID* id) = 0;
  virtual HRESULT Invoke(DISPID id, std::uint32_t lcid, std::uint16_t flags, DispParams& params,
                         Variant* result, ExcepInfo* excepInfo) = 0;
};

// "DISP_E_MEMBERNOTFOUND" and the other names the bridge reports; "" for codes it does not
// know.
std::string_view hresultName(HRESULT code);

// Error values of spreadsheet cells as VT_ERROR codes (#DIV/0! is 0x800A07D7, ...).
SCODE cellErrorCode(std::string_view errorText);
// The text a German spreadsheet application shows for such a code ("#NV", "#DIV/0!").
std::string cellErrorText(SCODE code);

}  // namespace zandor::sheet
