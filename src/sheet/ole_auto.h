#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "base/value.h"
#include "sheet/dispatch.h"

namespace zandor::sheet {

// An automation object of a server: holds its dispatch interface and releases it when the
// object goes. Every request it does not define itself is sent to the server by name.
class TOleAuto final : public AutomationObject {
 public:
  explicit TOleAuto(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
  std::string className() const override { return "TOLEAUTO"; }
  IDispatch* dispatch() const { return dispatch_.get(); }

  // Sends the request with positional arguments. A name beginning with "_" and given an
  // argument assigns a property. Failures are raised (general code 1001, subsystem
  // "TOleAuto"); when the handler answers Default the result is empty.
  Value request(std::string_view name, std::span<const Value> args = {});
  Value request(std::string_view name, std::initializer_list<Value> args) {
    return request(name, std::span<const Value>(args.begin(), args.size()));
  }

 private:
  ComPtr<IDispatch> dispatch_;
};

// Creates the server registered under a ProgID, or under a class id written "{...}".
// Returns a Value holding a TOleAuto; raises an error when the server is not created.
Value CreateObject(std::string_view progId);

// A request to the object a Value holds; raises an error when it holds no TOleAuto.
Value oleRequest(const Value& object, std::string_view name,
                 std::initializer_list<Value> args = {});

// The conversions of the bridge, in both directions.
Variant valueToVariant(const Value& value);
Value variantToValue(const Variant& variant);

}  // namespace zandor::sheet
