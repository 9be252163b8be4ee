#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sheet/dispatch.h"

namespace zandor::sheet {

// A member of a server object: its name, id, and the DISPATCH_* kinds it answers to.
struct MemberInfo {
  std::u16string_view name;
  DISPID id;
  std::uint16_t kinds;
};

// The positional arguments of a call in call order (COM passes them last first), read
// through by-reference variants.
class CallArgs {
 public:
  explicit CallArgs(const DispParams& params) : params_(params) {}
  std::uint32_t size() const { return params_.argCount; }
  const Variant& operator[](std::uint32_t i) const;

 private:
  const DispParams& params_;
};

// Coercions a server applies to its arguments (VariantChangeType in spirit).
HRESULT argToInt(const Variant& v, std::int32_t* out);
HRESULT argToBool(const Variant& v, bool* out);
HRESULT argToText(const Variant& v, std::u16string* out);

// Fills excepInfo and answers kDispEException.
HRESULT serverException(ExcepInfo* excepInfo, std::u16string description);

// Reference counting, interface queries and name lookup for the objects of our servers.
// Derived classes list their members and answer invokeMember; kinds a member does not
// have are refused with kDispEMemberNotFound before it is called.
class DispatchObject : public IDispatch {
 public:
  // The reading-ahead thread holds cells of the same sheet as the import's thread, so the
  // count is atomic.
  std::uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::uint32_t Release() override;
  HRESULT QueryInterface(InterfaceId iid, void** out) override;
  HRESULT GetIDsOfNames(std::u16string_view name, std::uint32_t lcid, DISPID* id) override;
  HRESULT Invoke(DISPID id, std::uint32_t lcid, std::uint16_t flags, DispParams& params,
                 Variant* result, ExcepInfo* excepInfo) override;

 protected:
  DispatchObject() = default;
  virtual std::span<const MemberInfo> members() const = 0;
  // flags is the one kind being asked for; result may be nullptr.
  virtual HRESULT invokeMember(DISPID id, std::uint16_t flags, const CallArgs& args,
                               Variant* result, ExcepInfo* excepInfo) = 0;

 private:
  std::atomic<std::uint32_t> refs_ = 0;
};

// Creates a server object owned by the returned pointer (reference count 1).
template <class T, class... A>
ComPtr<T> makeObject(A&&... args) {
  return ComPtr<T>(new T(std::forward<A>(args)...));
}

}  // namespace zandor::sheet
