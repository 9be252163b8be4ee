#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sheet/dispatch.h"

namespace zandor::sheet {

// The class ids and ProgIDs of the automation servers this process can create; it stands
// where the system registry and CoCreateInstance would be.
using ServerFactory = std::function<HRESULT(IDispatch** out)>;

// Registers (or replaces) a server. classId is written "{XXXXXXXX-XXXX-...}".
void registerServer(std::string progId, std::string classId, std::uint32_t contexts,
                    ServerFactory factory);
void unregisterServer(std::string_view progId);

// CLSIDFromProgID: kRegdbEClassNotReg (kCoEClassString for a malformed name) when unknown.
HRESULT classIdFromProgId(std::u16string_view progId, std::string* classId);
// CLSIDFromString: kCoEClassString unless the text has the form of a class id.
HRESULT classIdFromString(std::u16string_view text, std::string* classId);
// CoCreateInstance asking for IDispatch; kRegdbEClassNotReg when no server registered
// under the id answers one of the contexts.
HRESULT createInstance(std::string_view classId, std::uint32_t contexts, IDispatch** out);

}  // namespace zandor::sheet
