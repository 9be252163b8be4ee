// Any file may include <windows.h> before our automation layer: none of its macros (S_OK,
// FAILED, DISPATCH_METHOD, VARIANT_TRUE, ...) may meet a name of ours, and our codes keep
// the values Windows gives them.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "sheet/dispatch.h"
#include "sheet/dispatch_object.h"
#include "sheet/excel_server.h"
#include "sheet/ole_auto.h"
#include "sheet/server_registry.h"

namespace zandor::sheet {
namespace {

TEST(WindowsNames, CodesHaveTheValuesOfTheWindowsHeaders) {
#ifndef _WIN32
  GTEST_SKIP() << "<windows.h> belongs to the Windows build";
#else
  EXPECT_EQ(kOk, S_OK);
  EXPECT_EQ(kENotImpl, E_NOTIMPL);
  EXPECT_EQ(kENoInterface, E_NOINTERFACE);
  EXPECT_EQ(kEFail, E_FAIL);
  EXPECT_EQ(kEUnexpected, E_UNEXPECTED);
  EXPECT_EQ(kEOutOfMemory, E_OUTOFMEMORY);
  EXPECT_EQ(kEInvalidArg, E_INVALIDARG);
  EXPECT_EQ(kDispEUnknownInterface, DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(kDispEMemberNotFound, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(kDispEParamNotFound, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(kDispETypeMismatch, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(kDispEUnknownName, DISP_E_UNKNOWNNAME);
  EXPECT_EQ(kDispENoNamedArgs, DISP_E_NONAMEDARGS);
  EXPECT_EQ(kDispEBadVarType, DISP_E_BADVARTYPE);
  EXPECT_EQ(kDispEException, DISP_E_EXCEPTION);
  EXPECT_EQ(kDispEOverflow, DISP_E_OVERFLOW);
  EXPECT_EQ(kDispEUnknownLcid, DISP_E_UNKNOWNLCID);
  EXPECT_EQ(kDispEBadParamCount, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(kDispEParamNotOptional, DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(kOleEWrongCompObj, OLE_E_WRONGCOMPOBJ);
  EXPECT_EQ(kRegdbEWriteRegdb, REGDB_E_WRITEREGDB);
  EXPECT_EQ(kRegdbEClassNotReg, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(kMkEUnavailable, MK_E_UNAVAILABLE);
  EXPECT_EQ(kCoEClassString, CO_E_CLASSSTRING);
  EXPECT_EQ(kCoEServerExecFailure, CO_E_SERVER_EXEC_FAILURE);
  EXPECT_EQ(hrSucceeded(S_FALSE), SUCCEEDED(S_FALSE));
  EXPECT_EQ(hrFailed(E_FAIL), FAILED(E_FAIL));
  EXPECT_EQ(kDispatchMethod, DISPATCH_METHOD);
  EXPECT_EQ(kDispatchPropertyGet, DISPATCH_PROPERTYGET);
  EXPECT_EQ(kDispatchPropertyPut, DISPATCH_PROPERTYPUT);
  EXPECT_EQ(kDispatchPropertyPutRef, DISPATCH_PROPERTYPUTREF);
  EXPECT_EQ(kDispidValue, DISPID_VALUE);
  EXPECT_EQ(kDispidUnknown, DISPID_UNKNOWN);
  EXPECT_EQ(kDispidPropertyPut, DISPID_PROPERTYPUT);
  EXPECT_EQ(kLocaleSystemDefault, static_cast<std::uint32_t>(LOCALE_SYSTEM_DEFAULT));
  EXPECT_EQ(kClsctxInprocServer, static_cast<std::uint32_t>(CLSCTX_INPROC_SERVER));
  EXPECT_EQ(kClsctxLocalServer, static_cast<std::uint32_t>(CLSCTX_LOCAL_SERVER));
  EXPECT_EQ(kClsctxRemoteServer, static_cast<std::uint32_t>(CLSCTX_REMOTE_SERVER));
  EXPECT_EQ(kClsctxServer, static_cast<std::uint32_t>(CLSCTX_SERVER));
  EXPECT_EQ(kVariantTrue, VARIANT_TRUE);
  EXPECT_EQ(kVariantFalse, VARIANT_FALSE);
#endif
}

}  // namespace
}  // namespace zandor::sheet
