#include "image/name_encoding.h"

#include "image/message_text.h"

#include <cstddef>

namespace {

void appendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
        return;
    }
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

}  // namespace

bool isUtf8Text(std::string const& bytes)
{
    bool wide = false;
    for (std::size_t i = 0, length = 0; i < bytes.size(); i += length) {
        char32_t const c = nextCodePoint(bytes, i, length);
        if (length == 0)
            return false;
        wide = wide || c >= 0x80;
    }
    return wide;
}

std::u16string decodeName(std::string const& bytes)
{
    std::u16string out;
    if (isUtf8Text(bytes)) {
        for (std::size_t i = 0, length = 0; i < bytes.size(); i += length)
            appendUtf16(out, nextCodePoint(bytes, i, length));
    } else {
        for (char b : bytes)
            out += fromWindows1252(static_cast<unsigned char>(b));
    }
    return out;
}

std::string encodeUtf8(std::u16string const& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string toWindows1252(std::string const& bytes)
{
    if (!isUtf8Text(bytes))
        return bytes;
    std::string out;
    for (char16_t c : decodeName(bytes)) {
        if (c >= 0xDC00 && c <= 0xDFFF)
            continue;  // the second half of a pair, whose first half gave the '?'
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else {
            for (int k = 0x80; k < 0xA0; ++k)
                if (fromWindows1252(static_cast<unsigned char>(k)) == c)
                    byte = static_cast<char>(k);
        }
        out += byte;
    }
    return out;
}

std::wstring wideName(char const* bytes)
{
    std::u16string const name = decodeName(bytes);
    return std::wstring(name.begin(), name.end());
}

std::u16string messageText(std::string const& bytes)
{
    std::u16string out;
    for (std::size_t i = 0, length = 0; i < bytes.size(); i += length) {
        char32_t const c = nextCodePoint(bytes, i, length);
        if (length == 0) {
            out += fromWindows1252(static_cast<unsigned char>(bytes[i]));
            length = 1;
        } else {
            appendUtf16(out, c);
        }
    }
    return out;
}
