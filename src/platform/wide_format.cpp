#include "platform/wide_format.h"

#include <cstdint>
#include <type_traits>

namespace {

class Output {
  public:
    // Output past the buffer is dropped, except that with `kept_end` its last
    // `kept_end` characters are kept (at most kLongestKeptEnd).
    Output(char16_t* buffer, size_t capacity, size_t kept_end = 0)
        : buffer_(buffer), capacity_(capacity),
          kept_end_(kept_end < kLongestKeptEnd ? kept_end : kLongestKeptEnd) {}
    void put(char16_t c) {
        if (capacity_ > 0 && length_ + 1 < capacity_)
            buffer_[length_++] = c;
        else
            overflowed_ = true;
        if (kept_end_ > 0)
            end_[count_++ % kept_end_] = c;
    }
    void repeat(char16_t c, int count) {
        for (int i = 0; i < count; ++i)
            put(c);
    }
    int finish() {
        if (overflowed_ && kept_end_ > 0 && capacity_ > kept_end_ + kEllipsis + 1)
            joinEnd();
        if (capacity_ > 0)
            buffer_[length_] = 0;
        return static_cast<int>(length_);
    }

    static constexpr size_t kLongestKeptEnd = 256;

  private:
    static constexpr size_t kEllipsis = 3;

    // The start that fits, "...", then the kept end in its order.
    void joinEnd() {
        length_ = capacity_ - 1 - kept_end_ - kEllipsis;
        for (size_t i = 0; i < kEllipsis; ++i)
            buffer_[length_++] = u'.';
        for (size_t i = 0; i < kept_end_; ++i)
            buffer_[length_++] = end_[(count_ + i) % kept_end_];
    }

    char16_t* buffer_;
    size_t capacity_;
    size_t length_ = 0;
    size_t kept_end_;
    bool overflowed_ = false;
    // The last characters put, in a ring.
    char16_t end_[kLongestKeptEnd];
    size_t count_ = 0;
};

struct Spec {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    enum class Size { Default, Short, Long } size = Size::Default;
};

// Emits `body` (of length n) padded to the requested field width.
template <typename Char>
void emitPadded(Output& out, const Spec& spec, const Char* body, int n) {
    int pad = spec.width > n ? spec.width - n : 0;
    if (!spec.left)
        out.repeat(u' ', pad);
    for (int i = 0; i < n; ++i)
        out.put(static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(body[i])));
    if (spec.left)
        out.repeat(u' ', pad);
}

template <typename Char>
void emitString(Output& out, const Spec& spec, const Char* text) {
    static constexpr Char null_text[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (text == nullptr)
        text = null_text;
    int n = 0;
    while (text[n] != 0 && (spec.precision < 0 || n < spec.precision))
        ++n;
    emitPadded(out, spec, text, n);
}

void emitNumber(Output& out, const Spec& spec, uint32_t magnitude, bool negative, unsigned base, bool upper) {
    char digits[16];
    int n = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = alphabet[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);
    if (spec.precision == 0 && n == 1 && digits[0] == '0')
        n = 0;

    const char* prefix = negative ? "-" : "";
    if (spec.alternate && base == 16 && !(n == 1 && digits[0] == '0') && n > 0)
        prefix = upper ? "0X" : "0x";
    int prefix_length = prefix[0] == 0 ? 0 : prefix[1] == 0 ? 1 : 2;
    int zeros = spec.precision > n ? spec.precision - n : 0;
    int body = prefix_length + zeros + n;
    int pad = spec.width > body ? spec.width - body : 0;
    if (spec.zero && !spec.left && spec.precision < 0) {
        zeros += pad;
        pad = 0;
    }
    if (!spec.left)
        out.repeat(u' ', pad);
    for (int i = 0; i < prefix_length; ++i)
        out.put(static_cast<char16_t>(prefix[i]));
    out.repeat(u'0', zeros);
    while (n > 0)
        out.put(static_cast<char16_t>(digits[--n]));
    if (spec.left)
        out.repeat(u' ', pad);
}

int readNumber(const char16_t*& p, va_list& args) {
    if (*p == u'*') {
        ++p;
        return va_arg(args, int);
    }
    int value = 0;
    while (*p >= u'0' && *p <= u'9' && value < 10000)
        value = value * 10 + (*p++ - u'0');
    while (*p >= u'0' && *p <= u'9')
        ++p;
    return value;
}

int formatInto(Output& out, const char16_t* format, va_list arguments) {
    va_list args;
    va_copy(args, arguments);
    for (const char16_t* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            out.put(*p);
            continue;
        }
        const char16_t* start = p++;
        Spec spec;
        for (;; ++p) {
            if (*p == u'-')
                spec.left = true;
            else if (*p == u'0')
                spec.zero = true;
            else if (*p == u'#')
                spec.alternate = true;
            else
                break;
        }
        spec.width = readNumber(p, args);
        if (spec.width < 0) {
            spec.left = true;
            spec.width = -spec.width;
        }
        if (*p == u'.') {
            ++p;
            spec.precision = readNumber(p, args);
        }
        if (*p == u'l' || *p == u'w') {
            spec.size = Spec::Size::Long;
            ++p;
        } else if (*p == u'h') {
            spec.size = Spec::Size::Short;
            ++p;
        }
        switch (*p) {
        case u'%':
            out.put(u'%');
            break;
        case u's':
        case u'S': {
            bool wide = spec.size == Spec::Size::Long || (spec.size == Spec::Size::Default && *p == u's');
            if (wide)
                emitString(out, spec, va_arg(args, const char16_t*));
            else
                emitString(out, spec, va_arg(args, const char*));
            break;
        }
        case u'c':
        case u'C': {
            bool wide = spec.size == Spec::Size::Long || (spec.size == Spec::Size::Default && *p == u'c');
            int value = va_arg(args, int);
            char16_t c = wide ? static_cast<char16_t>(value)
                              : static_cast<char16_t>(static_cast<unsigned char>(value));
            emitPadded(out, spec, &c, 1);
            break;
        }
        case u'd':
        case u'i': {
            int32_t value = va_arg(args, int32_t);
            bool negative = value < 0;
            uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
            emitNumber(out, spec, magnitude, negative, 10, false);
            break;
        }
        case u'u':
            emitNumber(out, spec, va_arg(args, uint32_t), false, 10, false);
            break;
        case u'x':
        case u'X':
            emitNumber(out, spec, va_arg(args, uint32_t), false, 16, *p == u'X');
            break;
        case u'p': {
            Spec pointer = spec;
            pointer.zero = true;
            pointer.width = 8;
            auto address = reinterpret_cast<uintptr_t>(va_arg(args, void*));
            emitNumber(out, pointer, static_cast<uint32_t>(address), false, 16, true);
            break;
        }
        case 0:
            // A lone '%' at the end: shown as written.
            for (const char16_t* q = start; q < p; ++q)
                out.put(*q);
            --p;
            break;
        default:
            // Unknown conversion: shown as written, no argument taken.
            for (const char16_t* q = start; q <= p; ++q)
                out.put(*q);
            break;
        }
    }
    va_end(args);
    return out.finish();
}

} // namespace

int wvsprintfW(char16_t* buffer, size_t capacity, const char16_t* format, va_list args) {
    Output out(buffer, capacity);
    return formatInto(out, format, args);
}

int wvsprintfKeepingEnd(char16_t* buffer, size_t capacity, size_t kept_end, const char16_t* format,
                        va_list args) {
    Output out(buffer, capacity, kept_end);
    return formatInto(out, format, args);
}

int wsprintfW(char16_t* buffer, size_t capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    int n = wvsprintfW(buffer, capacity, format, args);
    va_end(args);
    return n;
}
