#pragma once

#include "sheet/dispatch.h"

namespace zandor::sheet {

// Our in-process spreadsheet server, registered under the ProgID and class id of the
// spreadsheet application. It answers Application, Workbooks, Workbook, Worksheets,
// Worksheet and Range with the members the import uses; Workbooks.Add reads the file once,
// and every cell request after that is a look-up in memory. Files are never written.
inline constexpr const char* kExcelProgId = "Excel.Application";
inline constexpr const char* kExcelClassId = "{00024500-0000-0000-C000-000000000046}";

HRESULT createExcelApplication(IDispatch** out);

}  // namespace zandor::sheet
