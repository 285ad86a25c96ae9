// The platform contract on desktop Windows: each call forwards to the Win32
// API where it has one. Wide text is UTF-16 there too, so strings pass as
// they are. This file is compiled only by the Windows build.
#include "platform/wince.h"

// After the contract: the Win32 headers define TRUE, MAX_PATH and the like as macros.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

LPCWSTR wide(const ce::WCHAR* text) {
    return reinterpret_cast<LPCWSTR>(text);
}

template <typename To, typename From>
To copyRecord(const From& from) {
    To to{};
    std::memcpy(&to, &from, sizeof(To) < sizeof(From) ? sizeof(To) : sizeof(From));
    return to;
}

void copyFindData(const WIN32_FIND_DATAW& from, ce::WIN32_FIND_DATAW* to) {
    *to = ce::WIN32_FIND_DATAW{};
    to->dwFileAttributes = from.dwFileAttributes;
    to->nFileSizeHigh = from.nFileSizeHigh;
    to->nFileSizeLow = from.nFileSizeLow;
    static_assert(sizeof(from.cFileName) == sizeof(to->cFileName));
    std::memcpy(to->cFileName, from.cFileName, sizeof(to->cFileName));
}

} // namespace

namespace ce {

HANDLE CreateFileW(const WCHAR* name, DWORD access, DWORD share, void* security, DWORD creation,
                   DWORD attributes, HANDLE template_file) {
    return ::CreateFileW(wide(name), access, share, static_cast<LPSECURITY_ATTRIBUTES>(security), creation,
                         attributes, template_file);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* done, void* overlapped) {
    ::DWORD count = 0;
    BOOL ok = ::ReadFile(file, buffer, size, &count, static_cast<LPOVERLAPPED>(overlapped));
    if (done != nullptr)
        *done = count;
    return ok;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* done, void* overlapped) {
    ::DWORD count = 0;
    BOOL ok = ::WriteFile(file, buffer, size, &count, static_cast<LPOVERLAPPED>(overlapped));
    if (done != nullptr)
        *done = count;
    return ok;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) {
    return ::SetFilePointer(file, distance, reinterpret_cast<PLONG>(high), method);
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
    ::DWORD high_word = 0;
    DWORD size = ::GetFileSize(file, &high_word);
    if (high != nullptr)
        *high = high_word;
    return size;
}

BOOL FlushFileBuffers(HANDLE file) {
    return ::FlushFileBuffers(file);
}
BOOL CloseHandle(HANDLE object) {
    return ::CloseHandle(object);
}
DWORD GetLastError() {
    return ::GetLastError();
}
void SetLastError(DWORD error) {
    ::SetLastError(error);
}

HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* data) {
    ::WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(wide(pattern), &found);
    if (search != INVALID_HANDLE_VALUE)
        copyFindData(found, data);
    return search;
}

BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
    ::WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(search, &found))
        return 0;
    copyFindData(found, data);
    return 1;
}

BOOL FindClose(HANDLE search) {
    return ::FindClose(search);
}

BOOL MoveFileW(const WCHAR* existing, const WCHAR* new_name) {
    return ::MoveFileW(wide(existing), wide(new_name));
}
BOOL DeleteFileW(const WCHAR* name) {
    return ::DeleteFileW(wide(name));
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                     DWORD* returned, void* overlapped) {
    ::DWORD count = 0;
    BOOL ok = ::DeviceIoControl(device, code, in, in_size, out, out_size, &count,
                                static_cast<LPOVERLAPPED>(overlapped));
    if (returned != nullptr)
        *returned = count;
    return ok;
}

BOOL GetCommState(HANDLE port, DCB* dcb) {
    ::DCB state{};
    state.DCBlength = sizeof(state);
    if (!::GetCommState(port, &state))
        return 0;
    dcb->BaudRate = state.BaudRate;
    dcb->ByteSize = state.ByteSize;
    dcb->Parity = state.Parity;
    dcb->StopBits = state.StopBits;
    return 1;
}

BOOL SetCommState(HANDLE port, DCB* dcb) {
    ::DCB state{};
    state.DCBlength = sizeof(state);
    if (!::GetCommState(port, &state))
        return 0;
    state.BaudRate = dcb->BaudRate;
    state.ByteSize = dcb->ByteSize;
    state.Parity = dcb->Parity;
    state.StopBits = dcb->StopBits;
    return ::SetCommState(port, &state);
}

void OutputDebugStringW(const WCHAR* text) {
    ::OutputDebugStringW(wide(text));
}

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* text, int wide_count, char* narrow,
                        int narrow_size, const char* default_char, BOOL* used_default) {
    return ::WideCharToMultiByte(code_page, flags, wide(text), wide_count, narrow, narrow_size, default_char,
                                 used_default);
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone) {
    ::TIME_ZONE_INFORMATION info{};
    DWORD result = ::GetTimeZoneInformation(&info);
    *zone = copyRecord<TIME_ZONE_INFORMATION>(info);
    return result;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    ::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = ::GetVersionExW(&version);
#pragma GCC diagnostic pop
    DWORD size = info->dwOSVersionInfoSize;
    *info = copyRecord<OSVERSIONINFOW>(version);
    info->dwOSVersionInfoSize = size;
    return ok;
}

void GetSystemInfo(SYSTEM_INFO* info) {
    ::SYSTEM_INFO system{};
    ::GetSystemInfo(&system);
    *info = SYSTEM_INFO{};
    info->wProcessorArchitecture = system.wProcessorArchitecture;
    info->dwPageSize = system.dwPageSize;
    info->dwNumberOfProcessors = system.dwNumberOfProcessors;
    info->dwProcessorType = system.dwProcessorType;
    info->dwAllocationGranularity = system.dwAllocationGranularity;
    info->wProcessorLevel = system.wProcessorLevel;
    info->wProcessorRevision = system.wProcessorRevision;
}

DWORD GetTickCount() {
    return ::GetTickCount();
}

void GlobalMemoryStatus(MEMORYSTATUS* status) {
    ::MEMORYSTATUS system{};
    system.dwLength = sizeof system;
    ::GlobalMemoryStatus(&system);
    auto narrow = [](SIZE_T value) {
        return value > 0xFFFFFFFFu ? DWORD{0xFFFFFFFFu} : static_cast<DWORD>(value);
    };
    *status = MEMORYSTATUS{};
    status->dwLength = sizeof *status;
    status->dwMemoryLoad = system.dwMemoryLoad;
    status->dwTotalPhys = narrow(system.dwTotalPhys);
    status->dwAvailPhys = narrow(system.dwAvailPhys);
    status->dwTotalPageFile = narrow(system.dwTotalPageFile);
    status->dwAvailPageFile = narrow(system.dwAvailPageFile);
    status->dwTotalVirtual = narrow(system.dwTotalVirtual);
    status->dwAvailVirtual = narrow(system.dwAvailVirtual);
}

HMODULE LoadLibraryW(const WCHAR* name) {
    return reinterpret_cast<HMODULE>(::LoadLibraryW(wide(name)));
}

FARPROC GetProcAddressW(HMODULE module, const WCHAR* name) {
    std::string narrow;
    for (const WCHAR* p = name; *p != 0; ++p)
        narrow += static_cast<char>(*p);
    return reinterpret_cast<FARPROC>(::GetProcAddress(reinterpret_cast<::HMODULE>(module), narrow.c_str()));
}

BOOL FreeLibrary(HMODULE module) {
    return ::FreeLibrary(reinterpret_cast<::HMODULE>(module));
}

// Desktop Windows has no kernel mode for programs and no physical mappings:
// these report failure, and the window build hands such work to the simulation.
BOOL SetKMode(BOOL) {
    return 0;
}

LPVOID VirtualAlloc(LPVOID address, DWORD size, DWORD type, DWORD protection) {
    return ::VirtualAlloc(address, size, type, protection & ~static_cast<DWORD>(0x600));
}

HLOCAL LocalAlloc(UINT flags, UINT bytes) {
    return ::LocalAlloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL block) {
    return ::LocalFree(block);
}

HANDLE HeapCreate(DWORD options, DWORD initial_size, DWORD maximum_size) {
    return ::HeapCreate(options, initial_size, maximum_size);
}

BOOL HeapDestroy(HANDLE heap) {
    return ::HeapDestroy(heap);
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, DWORD bytes) {
    return ::HeapAlloc(heap, flags, bytes);
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    return ::HeapFree(heap, flags, block);
}

BOOL VirtualFree(LPVOID address, DWORD size, DWORD type) {
    return ::VirtualFree(address, size, type);
}

BOOL VirtualCopy(LPVOID, LPVOID, DWORD, DWORD) {
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

} // namespace ce
