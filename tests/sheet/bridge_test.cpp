// The bridge against a recording test server: argument order and types, the invoke order,
// the default-member fallback, result conversion, errors and the trace file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "base/error.h"
#include "sheet/dispatch_object.h"
#include "sheet/ole_auto.h"
#include "sheet/server_registry.h"
#include "sheet/trace_log.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

constexpr DISPID kMethod = 1, kProp = 2, kOnlyProp = 3, kFail = 4, kResult = 5, kObj = 6, kOdd = 7,
                 kChildOnly = 8;

struct Call {
  DISPID id;
  std::uint16_t flags;
  std::vector<Variant> args;  // as passed: last argument first
  std::uint32_t named;
};

int liveRecorders = 0;

class Recorder : public DispatchObject {
 public:
  Recorder() { ++liveRecorders; }
  ~Recorder() override { --liveRecorders; }

  std::vector<Call> calls;
  Variant prop = Variant::i4(0);
  Variant result;
  ComPtr<Recorder> defaultMember;  // answered for kDispidValue when set
  bool isChild = false;            // only a child knows "ChildOnly"

  HRESULT GetIDsOfNames(std::u16string_view name, std::uint32_t lcid, DISPID* id) override {
    if (!isChild && name == u"ChildOnly") return kDispEUnknownName;
    return DispatchObject::GetIDsOfNames(name, lcid, id);
  }

  HRESULT Invoke(DISPID id, std::uint32_t lcid, std::uint16_t flags, DispParams& params,
                 Variant* out, ExcepInfo* excep) override {
    calls.push_back({id, flags, std::vector<Variant>(params.args, params.args + params.argCount),
                     params.namedCount});
    if (id == kDispidValue && flags == kDispatchPropertyGet) {
      if (!defaultMember) return kDispEMemberNotFound;
      *out = Variant::dispatch(defaultMember.get());
      return kOk;
    }
    return DispatchObject::Invoke(id, lcid, flags, params, out, excep);
  }

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Method", kMethod, kDispatchMethod},
        {u"Prop", kProp, kDispatchPropertyGet | kDispatchPropertyPut},
        {u"OnlyProp", kOnlyProp, kDispatchPropertyGet},
        {u"Fail", kFail, kDispatchMethod},
        {u"Result", kResult, kDispatchPropertyGet},
        {u"Obj", kObj, kDispatchPropertyGet | kDispatchPropertyPut | kDispatchPropertyPutRef},
        {u"Odd", kOdd, kDispatchMethod | kDispatchPropertyGet},
        {u"ChildOnly", kChildOnly, kDispatchMethod},
    };
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t flags, const CallArgs& args, Variant* out,
                       ExcepInfo* excep) override {
    switch (id) {
      case kMethod:
      case kChildOnly:
        *out = Variant::i4(static_cast<std::int32_t>(args.size()));
        return kOk;
      case kProp:
      case kObj:
        if (flags & (kDispatchPropertyPut | kDispatchPropertyPutRef)) {
          if (args.size() != 1) return kDispEBadParamCount;
          prop = args[0];
          return kOk;
        }
        if (args.size() != 0) return kDispEBadParamCount;
        *out = prop;
        return kOk;
      case kOnlyProp:
        *out = Variant::bstr(u"nur lesen");
        return kOk;
      case kFail:
        return serverException(excep, u"Kaputt: \u00c4rger");
      case kResult:
        *out = result;
        return kOk;
      case kOdd:
        return static_cast<HRESULT>(0x80001234u);
    }
    return kDispEMemberNotFound;
  }
};

Recorder* lastServer = nullptr;

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registerServer("Zandor.Test", "{11111111-2222-3333-4444-555555555555}", kClsctxInprocServer,
                   [](IDispatch** out) {
                     auto r = makeObject<Recorder>();
                     lastServer = r.get();
                     *out = r.detach();
                     return kOk;
                   });
    oldDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    resetTraceRun();
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir_);
    unregisterServer("Zandor.Test");
    resetTraceRun();
  }

  Value create() {
    ErrorGuard guard;
    return CreateObject("Zandor.Test");
  }
  std::string trace() const { return test::readBytes(dir_.path() / "trace.log"); }

  test::TempDir dir_;
  std::filesystem::path oldDir_;
};

Error requestError(const Value& object, std::string_view name, std::initializer_list<Value> args) {
  ErrorGuard guard;
  try {
    oleRequest(object, name, args);
  } catch (const ErrorException& e) {
    return e.error();
  }
  ADD_FAILURE() << "no error for " << name;
  return Error();
}

TEST_F(BridgeTest, CreateObjectFindsServersByProgIdOrClassIdAndNamesFailures) {
  Value byName = create();
  ASSERT_TRUE(byName.isObject());
  EXPECT_EQ(byName.asObject()->className(), "TOLEAUTO");
  {
    ErrorGuard guard;
    EXPECT_TRUE(CreateObject("{11111111-2222-3333-4444-555555555555}").isObject());
    EXPECT_TRUE(CreateObject("zandor.test").isObject());  // ProgIDs ignore case
  }
  auto failure = [](std::string_view progId) {
    ErrorGuard guard;
    try {
      CreateObject(progId);
    } catch (const ErrorException& e) {
      return e.error();
    }
    return Error();
  };
  const Error missing = failure("Nicht.Da");
  EXPECT_EQ(missing.genCode, 1001);
  EXPECT_EQ(missing.subCode, -1);
  EXPECT_EQ(missing.severity, 2);
  EXPECT_EQ(missing.subsystem, "TOleAuto");
  EXPECT_EQ(missing.description, "REGDB_E_CLASSNOTREG");
  EXPECT_EQ(failure("{nicht-gueltig}").description, "CO_E_CLASSSTRING");
  EXPECT_EQ(failure("{99999999-2222-3333-4444-555555555555}").description, "REGDB_E_CLASSNOTREG");
}

TEST_F(BridgeTest, ServerIsReleasedWithTheLastValue) {
  const int before = liveRecorders;
  {
    Value app = create();
    Value copy = app;
    EXPECT_EQ(liveRecorders, before + 1);
  }
  EXPECT_EQ(liveRecorders, before);
}

TEST_F(BridgeTest, ArgumentsGoLastFirstWithTheirVariantTypes) {
  Value app = create();
  Value other = create();
  ErrorGuard guard;
  const Value n = oleRequest(
      app, "Method",
      {Value::text("\xc4pfel"), Value::integer(5), Value::integer(5000000000), Value::real(1.5),
       Value::logical(true), Value::date(2415020, 43200000), Value::date(0), Value(), other});
  Recorder* server =
      static_cast<Recorder*>(dynamic_cast<TOleAuto*>(app.asObject().get())->dispatch());
  ASSERT_EQ(n.asNumber().integer, 9);
  const auto& args = server->calls.back().args;
  ASSERT_EQ(args.size(), 9u);
  EXPECT_EQ(args[8].vt, VT_BSTR);
  EXPECT_EQ(args[8].bstrVal, u"\u00c4pfel");
  EXPECT_EQ(args[7].vt, VT_I4);
  EXPECT_EQ(args[7].lVal, 5);
  EXPECT_EQ(args[6].vt, VT_I8);
  EXPECT_EQ(args[6].llVal, 5000000000);
  EXPECT_EQ(args[5].vt, VT_R8);
  EXPECT_EQ(args[5].dblVal, 1.5);
  EXPECT_EQ(args[4].vt, VT_BOOL);
  EXPECT_EQ(args[4].boolVal, -1);
  EXPECT_EQ(args[3].vt, VT_DATE);
  EXPECT_DOUBLE_EQ(args[3].date, 1.5);
  EXPECT_EQ(args[2].vt, VT_NULL);  // the empty date
  EXPECT_EQ(args[1].vt, VT_EMPTY);
  EXPECT_EQ(args[0].vt, VT_DISPATCH);
}

TEST_F(BridgeTest, InvokeOrderForGetsMethodsAndAssignments) {
  Value app = create();
  Recorder* server = lastServer;
  ErrorGuard guard;
  // A property asked like a method: the method attempt fails, the get answers.
  EXPECT_EQ(oleRequest(app, "OnlyProp").asText(), "nur lesen");
  ASSERT_EQ(server->calls.size(), 2u);
  EXPECT_EQ(server->calls[0].flags, kDispatchMethod);
  EXPECT_EQ(server->calls[1].flags, kDispatchPropertyGet);

  // "_Prop" with an argument assigns, with the named argument, and yields the argument.
  server->calls.clear();
  EXPECT_EQ(oleRequest(app, "_Prop", {Value::integer(42)}).asNumber().integer, 42);
  ASSERT_EQ(server->calls.size(), 1u);
  EXPECT_EQ(server->calls[0].id, kProp);
  EXPECT_EQ(server->calls[0].flags, kDispatchPropertyPut);
  EXPECT_EQ(server->calls[0].named, 1u);
  EXPECT_EQ(oleRequest(app, "Prop").asNumber().integer, 42);

  // An object is assigned by reference first.
  server->calls.clear();
  Value other = create();
  EXPECT_TRUE(oleRequest(app, "_Obj", {other}).isObject());
  ASSERT_EQ(server->calls.size(), 1u);
  EXPECT_EQ(server->calls[0].flags, kDispatchPropertyPutRef);
}

TEST_F(BridgeTest, ArgumentsToAGetEndWithAPutAttemptAndItsResultName) {
  Value app = create();
  Recorder* server = lastServer;
  const Error e = requestError(app, "Prop", {Value::integer(1)});
  // Method (not one), get (refuses the argument), put without the named argument; then the
  // default member, which this object does not have.
  ASSERT_GE(server->calls.size(), 4u);
  EXPECT_EQ(server->calls[0].flags, kDispatchMethod);
  EXPECT_EQ(server->calls[1].flags, kDispatchPropertyGet);
  EXPECT_EQ(server->calls[2].flags, kDispatchPropertyPut);
  EXPECT_EQ(server->calls[2].named, 0u);
  EXPECT_EQ(server->calls[3].id, kDispidValue);
  EXPECT_EQ(e.genCode, 1001);
  EXPECT_EQ(e.subsystem, "TOleAuto");
  EXPECT_EQ(e.description, "DISP_E_PARAMNOTFOUND");
  EXPECT_EQ(e.operation, "Prop");
}

TEST_F(BridgeTest, DefaultMemberIsTriedOnceAndReleased) {
  Value app = create();
  Recorder* server = lastServer;
  const int before = liveRecorders;
  server->defaultMember = makeObject<Recorder>();
  Recorder* child = server->defaultMember.get();
  child->isChild = true;
  {
    ErrorGuard guard;
    EXPECT_EQ(
        oleRequest(app, "ChildOnly", {Value::integer(1), Value::integer(2)}).asNumber().integer, 2);
  }
  ASSERT_EQ(child->calls.size(), 1u);
  EXPECT_EQ(child->calls[0].id, kChildOnly);
  server->defaultMember.reset();
  EXPECT_EQ(liveRecorders, before);  // the bridge kept no reference to it

  EXPECT_EQ(requestError(app, "GibtsNicht", {}).description, "DISP_E_UNKNOWNNAME");
}

TEST_F(BridgeTest, ServerExceptionTextAndUnknownCodes) {
  Value app = create();
  EXPECT_EQ(requestError(app, "Fail", {}).description, "Kaputt: \xc4rger");
  EXPECT_EQ(requestError(app, "Odd", {}).description, "Unknown error");
  EXPECT_EQ(trace(), "TOleAuto Error 80001234\r\n");
}

TEST_F(BridgeTest, UnguardedErrorsGoToTheHandler) {
  Value app = create();
  int asked = 0;
  ErrorHandler old = setErrorHandler([&](const Error& e) {
    EXPECT_EQ(e.description, "Kaputt: \xc4rger");
    return ++asked < 3 ? ErrorAnswer::Retry : ErrorAnswer::Default;
  });
  const Value v = oleRequest(app, "Fail");
  setErrorHandler(old);
  EXPECT_EQ(asked, 3);
  EXPECT_TRUE(v.isNil());
}

Value convert(Variant v) {
  return variantToValue(v);
}

TEST_F(BridgeTest, ResultConversionTable) {
  EXPECT_TRUE(convert(Variant()).isNil());
  EXPECT_TRUE(convert(Variant::null()).isNil());
  Variant nullText = Variant::bstr(u"");
  nullText.bstrIsNull = true;
  EXPECT_EQ(convert(nullText), Value::text(""));
  EXPECT_EQ(convert(Variant::bstr(u"Gr\u00fc\u00dfe \u20ac \u4e2d")).asText(),
            "Gr\xfc\xdf"
            "e \x80 ?");

  const Value small = convert(Variant::r8(12.5));
  EXPECT_FALSE(small.asNumber().isInteger);
  EXPECT_EQ(small.asNumber().real, 12.5);
  EXPECT_EQ(small.asNumber().decimals, 2);
  EXPECT_EQ(small.asNumber().width, 10);
  EXPECT_EQ(convert(Variant::r8(9999999999.0)).asNumber().width, 10);
  EXPECT_EQ(convert(Variant::r8(10000000000.0)).asNumber().width, 20);
  EXPECT_EQ(convert(Variant::r8(-999999999.0)).asNumber().width, 10);
  EXPECT_EQ(convert(Variant::r8(-1000000000.0)).asNumber().width, 20);
  Variant cy;
  cy.vt = VT_CY;
  cy.cyVal = 123456;
  EXPECT_EQ(convert(cy).asNumber().real, 12.3456);
  Variant r4;
  r4.vt = VT_R4;
  r4.fltVal = 0.25f;
  EXPECT_EQ(convert(r4).asNumber().real, 0.25);

  const Value whole = convert(Variant::i4(-7));
  EXPECT_TRUE(whole.asNumber().isInteger);
  EXPECT_EQ(whole.asNumber().integer, -7);
  Variant ui4;
  ui4.vt = VT_UI4;
  ui4.ulVal = 4000000000u;
  EXPECT_EQ(convert(ui4).asNumber().integer, 4000000000);
  Variant ui1;
  ui1.vt = VT_UI1;
  ui1.bVal = 200;
  EXPECT_EQ(convert(ui1).asNumber().integer, 200);

  EXPECT_EQ(convert(Variant::boolean(true)), Value::logical(true));
  Variant oddTrue;
  oddTrue.vt = VT_BOOL;
  oddTrue.boolVal = 1;
  EXPECT_EQ(convert(oddTrue), Value::logical(true));
  EXPECT_EQ(convert(Variant::boolean(false)), Value::logical(false));
}

TEST_F(BridgeTest, DatesCarryDayNumberAndTimeOfDay) {
  EXPECT_EQ(convert(Variant::dateValue(0)).asDate(), (Date{2415019, 0}));
  const Value noon = convert(Variant::dateValue(0.5));
  EXPECT_EQ(noon.type(), 'D');
  EXPECT_EQ(noon.asDate(), (Date{2415019, 43200000}));
  // 15.03.2012 08:15:00 and 31.12.2021 23:59:58: exact to the millisecond.
  EXPECT_EQ(convert(Variant::dateValue(40983.34375)).asDate(), (Date{2456002, 29700000}));
  EXPECT_EQ(convert(Variant::dateValue(44561 + 86398.0 / 86400)).asDate(),
            (Date{2459580, 86398000}));
  // Just before midnight rounds into the next day rather than past 24:00.
  EXPECT_EQ(convert(Variant::dateValue(1 - 1e-10)).asDate(), (Date{2415020, 0}));
}

TEST_F(BridgeTest, ObjectsArraysAndByReference) {
  auto r = makeObject<Recorder>();
  EXPECT_TRUE(convert(Variant::dispatch(r.get())).isObject());
  EXPECT_TRUE(convert(Variant::unknown(r.get())).isObject());

  auto list = std::make_unique<SafeArray>();
  list->bounds = {{0, 3}};
  list->data = {Variant::i4(1), Variant::bstr(u"x"), Variant()};
  const Value flat = convert(Variant::array(std::move(list)));
  ASSERT_EQ(flat.type(), 'A');
  ASSERT_EQ(flat.asList().size(), 3u);
  EXPECT_EQ(flat.asList()[1].asText(), "x");

  auto grid = std::make_unique<SafeArray>();
  grid->bounds = {{1, 2}, {1, 3}};  // 2 rows, 3 columns, first index fastest
  for (int i = 0; i < 6; ++i) grid->data.push_back(Variant::i4(i));
  const Value rows = convert(Variant::array(std::move(grid)));
  ASSERT_EQ(rows.asList().size(), 2u);
  ASSERT_EQ(rows.asList()[1].asList().size(), 3u);
  EXPECT_EQ(rows.asList()[1].asList()[2].asNumber().integer, 5);  // row 2, column 3
  EXPECT_EQ(rows.asList()[0].asList()[1].asNumber().integer, 2);  // row 1, column 2

  Variant target = Variant::r8(3.25);
  EXPECT_EQ(convert(Variant::byRef(&target)).asNumber().real, 3.25);
}

// An error value is a value of its own (shown as the German application shows it), not an
// unexpected type.
TEST_F(BridgeTest, ErrorValuesAreKeptUnexpectedTypesGiveEmptyAndATraceLine) {
  // Something from an earlier run: the first line of this run truncates it.
  test::writeBytes(dir_.path() / "trace.log", "alt\r\n");
  EXPECT_EQ(convert(Variant::error(static_cast<SCODE>(0x800A07D7u))), Value::error("#DIV/0!"));
  EXPECT_EQ(convert(Variant::error(static_cast<SCODE>(0x800A07FAu))), Value::error("#NV"));
  EXPECT_EQ(convert(Variant::error(static_cast<SCODE>(0x800A07DFu))).type(), 'E');
  EXPECT_TRUE(convert(Variant::i8(5)).isNil());
  const std::string t = trace();
  EXPECT_EQ(t.rfind("Unexpected type 00000014 in: ole_auto.cpp(", 0), 0u) << t;
  EXPECT_EQ(t.find("0000000A"), std::string::npos) << t;
  EXPECT_EQ(t.find("alt"), std::string::npos);
}

}  // namespace
}  // namespace zandor::sheet
