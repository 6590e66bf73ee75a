// The coredll stand-in: the Win32 calls the program makes, with the phone's
// signatures (WCHAR = char16_t). Include this one header for all of them.
//
// Paths are CE paths below the device folder (platform/core/device.h); the
// leading backslash is optional. GetLastError is per thread. Handles from
// CreateThread and CreateEventW are waitable and closed with CloseHandle.
//
// Fault points: "core.CreateDirectoryW", "core.CopyFileW" (hits after the
// copy is written, before it replaces the target), "core.LocalAlloc",
// "core.LocalReAlloc". An armed HRESULT of the form 0x8007xxxx becomes the
// Win32 error xxxx; any other becomes ERROR_GEN_FAILURE.
#pragma once

#include <cstring>
#include <string>

#include "platform/core/types.h"
#include "platform/core/wstdio.h"
#include "platform/core/wstr.h"

// ---------------------------------------------------------------------------
// Handles and modules

using HINSTANCE = struct HINSTANCE__*;
using HMODULE = HINSTANCE;
using PHKEY = HKEY*;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define ERROR_GEN_FAILURE 31L
#define ERROR_MORE_DATA 234L
#define ERROR_BADKEY 1010L
#define ERROR_DIR_NOT_EMPTY 145L

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

BOOL CloseHandle(HANDLE hObject);

// The program's own CE path (vardel::device::module_path()). Returns the
// length copied; when the buffer is too small, copies nSize-1 units and a
// terminator, returns nSize and sets ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

#define ZeroMemory(d, n) std::memset((d), 0, (n))
#define CopyMemory(d, s, n) std::memcpy((d), (s), (n))
#define FillMemory(d, n, v) std::memset((d), (v), (n))

// ---------------------------------------------------------------------------
// Files

#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080

// Creates the last folder of the path only. ERROR_ALREADY_EXISTS when it is
// there, ERROR_PATH_NOT_FOUND when its parent is missing.
BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL RemoveDirectoryW(LPCWSTR lpPathName);
// Copies the file; the copy replaces the target in one step (a failure leaves
// the old target whole). ERROR_FILE_EXISTS when bFailIfExists and the target
// is there.
BOOL CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
BOOL DeleteFileW(LPCWSTR lpFileName);
BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
DWORD GetFileAttributesW(LPCWSTR lpFileName);

// ---------------------------------------------------------------------------
// Registry (read from the device's .reg file; see vardel::core below)

using REGSAM = DWORD;
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
// Standard contract: lpData null asks only for the size; a short buffer gives
// ERROR_MORE_DATA with the size needed in *lpcbData. A missing value gives
// ERROR_FILE_NOT_FOUND.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegCloseKey(HKEY hKey);

// ---------------------------------------------------------------------------
// Time

DWORD GetTickCount();
void GetLocalTime(LPSYSTEMTIME lpSystemTime);
void GetSystemTime(LPSYSTEMTIME lpSystemTime);
void GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
// UTC -> local with the host's time zone (TZ honoured), using the offset in
// force at the instant converted.
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);

// ---------------------------------------------------------------------------
// Threads, events, waits

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpThreadParameter);
#define STILL_ACTIVE 259
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define EVENT_PULSE 1
#define EVENT_RESET 2
#define EVENT_SET 3

// dwCreationFlags must be 0 (CREATE_SUSPENDED is not offered). The thread
// runs detached; an exception leaving its function ends the process, as an
// unhandled one does on the phone, so thread functions catch what they can.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, DWORD dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
// STILL_ACTIVE while the thread runs, then the value its function returned.
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
DWORD GetCurrentThreadId();
void Sleep(DWORD dwMilliseconds);

// Threads are signalled when they end; events as set. An auto-reset event
// releases one waiter and resets itself.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL EventModify(HANDLE hEvent, DWORD func);
inline BOOL SetEvent(HANDLE h) { return EventModify(h, EVENT_SET); }
inline BOOL ResetEvent(HANDLE h) { return EventModify(h, EVENT_RESET); }
inline BOOL PulseEvent(HANDLE h) { return EventModify(h, EVENT_PULSE); }

// Re-entrant: the owning thread may enter again; each Enter needs a Leave.
struct CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

inline LONG InterlockedIncrement(LONG volatile* p) {
  return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* p) {
  return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* p, LONG v) {
  return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

// ---------------------------------------------------------------------------
// Local heap

#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define LHND (LMEM_MOVEABLE | LMEM_ZEROINIT)

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Without LMEM_MOVEABLE the block may only stay where it is (shrinking or
// keeping its size); with it, the block may move. LMEM_ZEROINIT zeroes the
// added bytes. A failure leaves the old block valid.
HLOCAL LocalReAlloc(HLOCAL hMem, SIZE_T uBytes, UINT uFlags);
// Returns null on success, the block on failure.
HLOCAL LocalFree(HLOCAL hMem);
SIZE_T LocalSize(HLOCAL hMem);

// ---------------------------------------------------------------------------
// Kernel debug output: off unless VARDEL_TRACE is set in the environment or
// vardel::core::set_debug_output(true); when off, nothing is formatted.
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);
void OutputDebugStringW(LPCWSTR lpOutputString);

namespace vardel::core {

void set_debug_output(bool on);
bool debug_output();

// Sets a string value in the device registry file, creating the file and the
// key as needed (used by the device tools to make a device). Replaces the
// file atomically. Key is "HKEY_LOCAL_MACHINE\\Path\\To\\Key". False on an
// I/O failure.
bool write_registry_string(std::u16string_view key, std::u16string_view name,
                           std::u16string_view value);

// The Win32 error an armed fault HRESULT stands for.
DWORD win32_from_hresult(HRESULT hr);

}  // namespace vardel::core
