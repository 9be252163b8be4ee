#include "app/platform_facts.h"

#include <windows.h>
// after windows.h
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>

#include "base/windows_api.h"

namespace zandor {

namespace {

// The version Windows really is: GetVersionEx answers what the manifest claims to support.
void setOsVersion(ReportFacts& facts) {
  using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto get = ntdll != nullptr ? reinterpret_cast<RtlGetVersion>(
                                    reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                              : nullptr;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (get == nullptr || get(&info) != 0) return;
  facts.osMajor = static_cast<int>(info.dwMajorVersion);
  facts.osMinor = static_cast<int>(info.dwMinorVersion);
  facts.osBuild = static_cast<int>(info.dwBuildNumber);
  facts.osExtra = win32::narrowPath(info.szCSDVersion);
}

// Without symbols in the program, a level names its module and the offset into it.
std::vector<CallLevel> callLevels(int skipped) {
  void* frames[62];
  const USHORT count = CaptureStackBackTrace(static_cast<DWORD>(skipped + 1), 62, frames, nullptr);
  std::vector<CallLevel> levels;
  for (USHORT i = 0; i < count; ++i) {
    CallLevel level;
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(frames[i]), &module);
    wchar_t name[MAX_PATH] = {};
    if (module != nullptr) GetModuleFileNameW(module, name, MAX_PATH);
    std::string file = win32::narrowPath(name);
    level.source = file.substr(file.find_last_of("\\/") + 1);
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(frames[i]) -
                                                  reinterpret_cast<std::uintptr_t>(module)));
    level.operation = offset;
    levels.push_back(level);
  }
  return levels;
}

void setProcessor(ReportFacts& facts) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return;
  wchar_t name[256] = {};
  DWORD size = sizeof name - sizeof(wchar_t);
  if (RegQueryValueExW(key, L"ProcessorNameString", nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                       &size) == ERROR_SUCCESS) {
    facts.cpuName = win32::narrowPath(name);
  }
  DWORD mhz = 0;
  size = sizeof mhz;
  if (RegQueryValueExW(key, L"~MHz", nullptr, nullptr, reinterpret_cast<BYTE*>(&mhz), &size) ==
          ERROR_SUCCESS &&
      mhz > 0) {
    facts.cpuMhz = static_cast<int>(mhz);
  }
  RegCloseKey(key);
}

std::vector<std::string> runningTasks() {
  std::vector<std::string> tasks;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return tasks;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    tasks.push_back(std::to_string(entry.th32ProcessID) + " " + win32::narrowPath(entry.szExeFile));
  }
  CloseHandle(snapshot);
  return tasks;
}

}  // namespace

void addPlatformFacts(ReportFacts& facts, int skippedLevels) {
  setOsVersion(facts);
  facts.calls = callLevels(skippedLevels + 1);
  setProcessor(facts);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  if (GlobalMemoryStatusEx(&memory)) {
    facts.memoryBytes = memory.ullTotalPhys;
    facts.freeMemoryPercent = 100 - static_cast<int>(memory.dwMemoryLoad);
  }
  facts.tasks = runningTasks();
  PROCESS_MEMORY_COUNTERS counters{};
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
    facts.memoryInUse = counters.WorkingSetSize;
    facts.memoryHighest = counters.PeakWorkingSetSize;
  }
}

}  // namespace zandor
