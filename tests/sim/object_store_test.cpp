#include "platform/wide_string.h"
#include "platform/wince.h"
#include "support/simulated_device.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

class ObjectStore : public SimulatedDevice {
  protected:
    ce::HANDLE open(const char16_t* path, ce::DWORD access = ce::GENERIC_READ,
                    ce::DWORD creation = ce::OPEN_EXISTING, ce::DWORD share = 0) {
        return ce::CreateFileW(path, access, share, nullptr, creation, ce::FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::vector<std::pair<std::string, ce::DWORD>> list(const char16_t* pattern) {
        std::vector<std::pair<std::string, ce::DWORD>> entries;
        ce::WIN32_FIND_DATAW data{};
        ce::HANDLE search = ce::FindFirstFileW(pattern, &data);
        if (search == ce::INVALID_HANDLE_VALUE)
            return entries;
        do {
            entries.emplace_back(utf16ToUtf8(data.cFileName), data.dwFileAttributes);
        } while (ce::FindNextFileW(search, &data));
        EXPECT_EQ(ce::GetLastError(), ce::ERROR_NO_MORE_FILES);
        EXPECT_TRUE(ce::FindClose(search));
        return entries;
    }
};

TEST_F(ObjectStore, DevicePathsNameHostFilesWithoutRegardToCase) {
    writeFile("Storage Card/Kalmor.GZ", "kernel bytes");
    ce::HANDLE file = open(u"\\STORAGE CARD\\kalmor.gz");
    ASSERT_NE(file, ce::INVALID_HANDLE_VALUE);
    char buffer[32] = {};
    ce::DWORD done = 0;
    ASSERT_TRUE(ce::ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "kernel bytes");
    EXPECT_EQ(ce::GetFileSize(file, nullptr), 12u);
    EXPECT_EQ(ce::SetFilePointer(file, 7, nullptr, ce::FILE_BEGIN), 7u);
    ASSERT_TRUE(ce::ReadFile(file, buffer, 5, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "bytes");
    EXPECT_TRUE(ce::CloseHandle(file));
    EXPECT_FALSE(ce::CloseHandle(file));
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INVALID_HANDLE);
}

TEST_F(ObjectStore, FailuresReportTheDeviceErrorCodes) {
    struct Case {
        const char16_t* path;
        ce::DWORD error;
    };
    const Case cases[] = {
        {u"\\Storage Card\\missing", ce::ERROR_FILE_NOT_FOUND},
        {u"\\No Folder\\file", ce::ERROR_PATH_NOT_FOUND},
        {u"\\Storage Card", ce::ERROR_ACCESS_DENIED},
        {u"\\Storage Card\\..\\..\\etc\\passwd", ce::ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(open(c.path), ce::INVALID_HANDLE_VALUE) << utf16ToUtf8(c.path);
        EXPECT_EQ(ce::GetLastError(), c.error) << utf16ToUtf8(c.path);
    }
}

TEST_F(ObjectStore, AFileOpenWithoutSharingCannotBeOpenedAgain) {
    writeFile("Storage Card/a", "x");
    ce::HANDLE first = open(u"\\Storage Card\\a");
    ASSERT_NE(first, ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(open(u"\\Storage Card\\a"), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_SHARING_VIOLATION);
    ce::CloseHandle(first);
    ce::HANDLE again = open(u"\\Storage Card\\a");
    EXPECT_NE(again, ce::INVALID_HANDLE_VALUE);
    ce::CloseHandle(again);
}

// Reads are served from a read-ahead buffer; whatever the pattern of seeks
// and sizes, the bytes are the file's, and writes are seen at once.
TEST_F(ObjectStore, ReadsSeeTheFilesBytesWhateverTheirPattern) {
    const uint32_t size = 3 * 128 * 1024 + 777; // a few read-ahead buffers and a ragged tail
    std::string bytes(size, '\0');
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 24);
    writeFile("Storage Card/big", bytes);
    ce::HANDLE file = open(u"\\Storage Card\\big", ce::GENERIC_READ, ce::OPEN_EXISTING, ce::FILE_SHARE_READ);
    ASSERT_NE(file, ce::INVALID_HANDLE_VALUE);

    struct Read {
        uint32_t offset;
        uint32_t count;
    };
    const Read reads[] = {
        {0, 4092},          {4092, 4092}, {128 * 1024 - 3, 10},     {200000, 300000}, {5, 1},
        {size - 100, 4096}, {size, 10},   {128 * 1024, 128 * 1024}, {size - 1, 1},    {1, size + 50},
    };
    std::vector<char> buffer(size + 64);
    for (const Read& read : reads) {
        SCOPED_TRACE(read.offset);
        ASSERT_EQ(ce::SetFilePointer(file, static_cast<ce::LONG>(read.offset), nullptr, ce::FILE_BEGIN),
                  read.offset);
        ce::DWORD done = 0;
        ASSERT_TRUE(ce::ReadFile(file, buffer.data(), read.count, &done, nullptr));
        uint32_t expected = std::min(read.count, size - read.offset);
        ASSERT_EQ(done, expected);
        EXPECT_EQ(std::string(buffer.data(), done), bytes.substr(read.offset, expected));
    }
    // Reading on from the current position continues where the last read ended.
    ASSERT_EQ(ce::SetFilePointer(file, 1000, nullptr, ce::FILE_BEGIN), 1000u);
    ce::DWORD done = 0;
    ASSERT_TRUE(ce::ReadFile(file, buffer.data(), 10, &done, nullptr));
    EXPECT_EQ(ce::SetFilePointer(file, 0, nullptr, ce::FILE_CURRENT), 1010u);
    EXPECT_EQ(ce::SetFilePointer(file, -10, nullptr, ce::FILE_END), size - 10);
    EXPECT_EQ(ce::SetFilePointer(file, -1, nullptr, ce::FILE_BEGIN), ce::INVALID_SET_FILE_POINTER);

    // Another handle writes into the part this one has read ahead.
    ce::HANDLE writer =
        open(u"\\Storage Card\\big", ce::GENERIC_WRITE, ce::OPEN_EXISTING, ce::FILE_SHARE_READ);
    ASSERT_NE(writer, ce::INVALID_HANDLE_VALUE);
    ASSERT_EQ(ce::SetFilePointer(file, 0, nullptr, ce::FILE_BEGIN), 0u);
    ASSERT_TRUE(ce::ReadFile(file, buffer.data(), 16, &done, nullptr));
    ASSERT_EQ(ce::SetFilePointer(writer, 16, nullptr, ce::FILE_BEGIN), 16u);
    ASSERT_TRUE(ce::WriteFile(writer, "NEW!", 4, &done, nullptr));
    ASSERT_TRUE(ce::ReadFile(file, buffer.data(), 4, &done, nullptr));
    EXPECT_EQ(std::string(buffer.data(), done), "NEW!");
    ce::CloseHandle(writer);
    ce::CloseHandle(file);
}

TEST_F(ObjectStore, CreatesReplacesAndRenamesFiles) {
    ce::HANDLE file = open(u"\\Storage Card\\new.txt", ce::GENERIC_WRITE, ce::CREATE_ALWAYS);
    ASSERT_NE(file, ce::INVALID_HANDLE_VALUE);
    ce::DWORD done = 0;
    ASSERT_TRUE(ce::WriteFile(file, "hello", 5, &done, nullptr));
    EXPECT_TRUE(ce::FlushFileBuffers(file));
    ce::CloseHandle(file);
    EXPECT_EQ(readFile("Storage Card/new.txt"), "hello");

    writeFile("Storage Card/other.txt", "other");
    EXPECT_FALSE(ce::MoveFileW(u"\\Storage Card\\new.txt", u"\\Storage Card\\other.txt"));
    EXPECT_TRUE(ce::DeleteFileW(u"\\Storage Card\\other.txt"));
    EXPECT_TRUE(ce::MoveFileW(u"\\Storage Card\\new.txt", u"\\Storage Card\\other.txt"));
    EXPECT_EQ(readFile("Storage Card/other.txt"), "hello");
    EXPECT_FALSE(ce::DeleteFileW(u"\\Storage Card\\new.txt"));
}

TEST_F(ObjectStore, StorageCardsAreTemporaryDirectoriesOfTheRoot) {
    std::filesystem::create_directories(root / "Windows");
    std::filesystem::create_directories(root / "Storage Card/inner");
    writeFile("readme.txt", "text");
    const auto entries = list(u"\\*.*");
    const std::vector<std::pair<std::string, ce::DWORD>> expected = {
        {"Storage Card", ce::FILE_ATTRIBUTE_DIRECTORY | ce::FILE_ATTRIBUTE_TEMPORARY},
        {"Windows", ce::FILE_ATTRIBUTE_DIRECTORY},
        {"readme.txt", ce::FILE_ATTRIBUTE_NORMAL},
    };
    EXPECT_EQ(entries, expected);
    // Below the root a folder of the same name is an ordinary one.
    EXPECT_EQ(list(u"\\Storage Card\\*.*"),
              (std::vector<std::pair<std::string, ce::DWORD>>{{"inner", ce::FILE_ATTRIBUTE_DIRECTORY}}));
}

TEST_F(ObjectStore, SearchPatternsMatchLikeTheDevice) {
    writeFile("Storage Card/kalmor.gz", "");
    writeFile("Storage Card/KALMOR.ELF", "");
    writeFile("Storage Card/miniroot.fs", "");
    EXPECT_EQ(list(u"\\Storage Card\\kalmor.*").size(), 2u);
    EXPECT_EQ(list(u"\\Storage Card\\?????.gz").size(), 0u);
    EXPECT_EQ(list(u"\\Storage Card\\??????.gz").size(), 1u);
    ce::WIN32_FIND_DATAW data{};
    EXPECT_EQ(ce::FindFirstFileW(u"\\Storage Card\\*.txt", &data), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ce::FindFirstFileW(u"\\Nowhere\\*.*", &data), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_PATH_NOT_FOUND);
}

TEST_F(ObjectStore, ConvertsTextInTheProfilesCodePage) {
    auto convert = [](const char16_t* text) {
        char out[64] = {};
        int n = ce::WideCharToMultiByte(ce::CP_ACP, 0, text, -1, out, sizeof(out), nullptr, nullptr);
        return std::string(out, n > 0 ? n - 1 : 0);
    };
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (US/UK)"));
    EXPECT_EQ(convert(u"caf\u00e9 \u30AB"), "caf\xe9 ?"); // code page 1252 has no katakana
    useProfile(*sim::findDeviceProfile(u"Sharp W-ZERO3 (WS003SH)"));
    EXPECT_EQ(convert(u"\uFF76\u30AB"), "\xb6\x83\x4a"); // code page 932
    EXPECT_EQ(ce::WideCharToMultiByte(ce::CP_ACP, 0, u"\u30AB\u30AB", -1, nullptr, 0, nullptr, nullptr), 5);
    char small[3];
    EXPECT_EQ(ce::WideCharToMultiByte(ce::CP_ACP, 0, u"\u30AB\u30AB", -1, small, 3, nullptr, nullptr), 0);
    EXPECT_EQ(ce::GetLastError(), ce::ERROR_INSUFFICIENT_BUFFER);
}

TEST_F(ObjectStore, DisplayTimeZoneAndVersionComeFromTheDevice) {
    useProfile(*sim::findDeviceProfile(u"HP Jornada 720 (US/UK)"));
    ce::HDC dc = ce::GetDC(nullptr);
    EXPECT_EQ(ce::GetDeviceCaps(dc, ce::HORZRES), 640);
    EXPECT_EQ(ce::GetDeviceCaps(dc, ce::VERTRES), 240);
    EXPECT_EQ(ce::GetDeviceCaps(dc, ce::BITSPIXEL), 16);
    ce::ReleaseDC(nullptr, dc);
    device().timezone_bias = -540;
    ce::TIME_ZONE_INFORMATION zone{};
    EXPECT_EQ(ce::GetTimeZoneInformation(&zone), ce::TIME_ZONE_ID_STANDARD);
    EXPECT_EQ(zone.Bias, -540);
    device().daylight_in_effect = true;
    EXPECT_EQ(ce::GetTimeZoneInformation(&zone), ce::TIME_ZONE_ID_DAYLIGHT);
    ce::OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(ce::GetVersionExW(&version));
    EXPECT_EQ(version.dwMajorVersion, 3u);
    EXPECT_EQ(version.dwPlatformId, ce::VER_PLATFORM_WIN32_CE);
}

TEST_F(ObjectStore, SerialPortKeepsItsSettingsAcrossOpens) {
    std::string sent;
    device().serial_output = [&](const char* bytes, size_t count) { sent.append(bytes, count); };
    ce::HANDLE port = open(u"com1:", ce::GENERIC_READ | ce::GENERIC_WRITE);
    ASSERT_NE(port, ce::INVALID_HANDLE_VALUE);
    ce::DCB dcb{};
    ASSERT_TRUE(ce::GetCommState(port, &dcb));
    dcb.BaudRate = 57600;
    ASSERT_TRUE(ce::SetCommState(port, &dcb));
    ce::DWORD done = 0;
    ce::WriteFile(port, "ok", 2, &done, nullptr);
    ce::CloseHandle(port);
    EXPECT_EQ(sent, "ok");
    port = open(u"COM1:", ce::GENERIC_READ | ce::GENERIC_WRITE);
    ASSERT_TRUE(ce::GetCommState(port, &dcb));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    ce::CloseHandle(port);
    EXPECT_EQ(open(u"COM7:"), ce::INVALID_HANDLE_VALUE);
}

TEST_F(ObjectStore, MessageBoxesTakeScriptedAnswersThenTheDefault) {
    device().scripted_answers = {ce::IDNO};
    device().yes_no_answer = ce::IDYES;
    EXPECT_EQ(ce::MessageBoxW(nullptr, u"first?", u"Q", ce::MB_YESNO), ce::IDNO);
    EXPECT_EQ(ce::MessageBoxW(nullptr, u"second?", u"Q", ce::MB_YESNO | ce::MB_ICONQUESTION), ce::IDYES);
    EXPECT_EQ(ce::MessageBoxW(nullptr, u"note", u"Information", ce::MB_OK | ce::MB_ICONINFORMATION),
              ce::IDOK);
    ASSERT_EQ(device().message_boxes.size(), 3u);
    EXPECT_EQ(device().message_boxes[1].style, 36u);
    EXPECT_EQ(device().message_boxes[2].caption, u"Information");
}

} // namespace
