// The platform contract: every Windows CE service the system calls, by its own
// name and argument conventions. Wide text is UTF-16 (char16_t) as on the
// device. On Linux the simulated handheld (sim/) implements these; on desktop
// Windows, src/platform/win32 forwards to the real API what it has.
//
// A new OS call is added here first, with a line on what the system relies on.
#pragma once

#include "platform/wince_sockets.h"
#include "platform/wince_types.h"

#include <cstdarg>
#include <cstddef>

namespace ce {

// --- Files, devices and the object store -------------------------------------

// Opens a file of the object store or a device ("COM1:", "DSK1:").
HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, void* security, DWORD creation,
                   DWORD attributes, HANDLE template_file);
// Transfers at most `size` bytes at the file pointer; the count is stored in *done.
BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* done, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* done, void* overlapped);
// Only 32-bit positions are used; `high` is always null.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method);
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE object);
DWORD GetLastError();
void SetLastError(DWORD error);
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE search);
// Renames within the store; fails when the new name exists.
BOOL MoveFileW(const WCHAR* existing, const WCHAR* new_name);
BOOL DeleteFileW(const WCHAR* name);
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                     DWORD* returned, void* overlapped);

// --- Serial port --------------------------------------------------------------

BOOL GetCommState(HANDLE port, DCB* dcb);
BOOL SetCommState(HANDLE port, DCB* dcb);

// --- Diagnostics and text -----------------------------------------------------

void OutputDebugStringW(const WCHAR* text);
// Converts to an 8-bit code page; `wide_count` -1 includes the terminator.
// With `narrow_size` 0 it only reports the bytes needed.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide, int wide_count, char* narrow,
                        int narrow_size, const char* default_char, BOOL* used_default);

// --- Windows and graphics -----------------------------------------------------

// Modal; answers IDOK, IDYES or IDNO.
int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT style);
BOOL UpdateWindow(HWND window);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
int GetDeviceCaps(HDC dc, int index);

// --- System -------------------------------------------------------------------

// Bias in minutes (UTC = local + bias); the result tells whether daylight time is in effect.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone);
BOOL GetVersionExW(OSVERSIONINFOW* info);
void GetSystemInfo(SYSTEM_INFO* info);
// dwTotalPhys: program memory, the RAM less the kernel's part and the object store;
// dwAvailPhys: what of it nothing holds (committed pages and heaps take it).
void GlobalMemoryStatus(MEMORYSTATUS* status);
HMODULE LoadLibraryW(const WCHAR* name);
FARPROC GetProcAddressW(HMODULE module, const WCHAR* name);
BOOL FreeLibrary(HMODULE module);
// Milliseconds since the device started, wrapping after 49.7 days: only
// differences are used.
DWORD GetTickCount();
// Switches the calling thread into kernel mode (System mode on ARM); returns the previous state.
BOOL SetKMode(BOOL kernel);

// --- Heap -------------------------------------------------------------------------

// The process heap. Its blocks come out of program memory like committed pages,
// so a loader that keeps too much here runs the device short. LMEM_ZEROINIT
// clears the block. Null when the memory is not there.
HLOCAL LocalAlloc(UINT flags, UINT bytes);
// Null when the block was freed; a null block is ignored.
HLOCAL LocalFree(HLOCAL block);
// A heap of the process's own: it grows in whole pages of program memory as its
// blocks need them and keeps them until HeapDestroy gives them all back, with
// every block in it. Null when it cannot be made.
HANDLE HeapCreate(DWORD options, DWORD initial_size, DWORD maximum_size);
BOOL HeapDestroy(HANDLE heap);
// HEAP_ZERO_MEMORY clears the block. Null when the memory is not there.
LPVOID HeapAlloc(HANDLE heap, DWORD flags, DWORD bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);

// --- Virtual memory -------------------------------------------------------------

LPVOID VirtualAlloc(LPVOID address, DWORD size, DWORD type, DWORD protection);
BOOL VirtualFree(LPVOID address, DWORD size, DWORD type);
// Maps physical memory into a reserved range; with PAGE_PHYSICAL `source` is the
// physical address shifted right by 8.
BOOL VirtualCopy(LPVOID destination, LPVOID source, DWORD size, DWORD protection);

// --- Sockets (WinSock 1.1) -------------------------------------------------------------

// Returns 0 or an error code; `data` tells the version granted (wVersion).
int WSAStartup(WORD version, WSADATA* data);
int WSACleanup();
// The error of the last failed socket call of this thread.
int WSAGetLastError();
// Blocking TCP sockets; failures give INVALID_SOCKET or SOCKET_ERROR.
SOCKET socket(int family, int type, int protocol);
int connect(SOCKET s, const sockaddr* address, int address_size);
// Count sent, at most `size`.
int send(SOCKET s, const char* buffer, int size, int flags);
// Count received; 0 when the peer has closed; SOCKET_ERROR with WSAETIMEDOUT
// when SO_RCVTIMEO passed without data.
int recv(SOCKET s, char* buffer, int size, int flags);
int setsockopt(SOCKET s, int level, int option, const char* value, int value_size);
int closesocket(SOCKET s);
// Null when the name is unknown.
hostent* gethostbyname(const char* name);
// A dotted-quad literal in network byte order, or INADDR_NONE.
u_long inet_addr(const char* text);
u_short htons(u_short value);

} // namespace ce
