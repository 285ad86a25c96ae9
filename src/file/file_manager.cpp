#include "file/file_manager.h"

#include "console/console.h"
#include "platform/wide_string.h"
#include "platform/wince.h"

#include <cstdarg>

FileManager::FileManager(Console** console) : console_(console) {}

uint32_t FileManager::realsize() {
    return size();
}

bool FileManager::toAscii(char* destination, const char16_t* source, uint32_t capacity) {
    int length = static_cast<int>(wideLength(source));
    int needed = 0;
    if (length > 0) {
        needed = ce::WideCharToMultiByte(ce::CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
    }
    if (static_cast<uint32_t>(needed) + 1 > capacity) {
        print(u"buffer insufficeint. %d > %d\n", needed + 1, capacity);
        return false;
    }
    // An empty name needs no conversion; asking the platform with no room would read as a refusal.
    if (length > 0) {
        int converted =
            ce::WideCharToMultiByte(ce::CP_ACP, 0, source, length, destination, needed, nullptr, nullptr);
        if (converted == 0) {
            print(u"can't convert to ASCII.\n");
            return false;
        }
        needed = converted;
    }
    destination[needed] = '\0';
    return true;
}

void FileManager::print(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    slotVprint(console_, format, args);
    va_end(args);
}
