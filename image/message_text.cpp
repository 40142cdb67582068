#include "image/message_text.h"

#include <cctype>
#include <cstring>

namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves unassigned keep their
// value, as Windows' own conversion does.
char16_t const kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

char32_t nextCodePoint(std::string const& bytes, std::size_t i, std::size_t& length)
{
    auto byte = [&](std::size_t k) {
        return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u;
    };
    unsigned const lead = byte(i);
    length = 0;
    int more = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1, c = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2, c = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3, c = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    for (int k = 1; k <= more; ++k) {
        unsigned const next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0u) != 0x80u)
            return 0;
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    length = static_cast<std::size_t>(more) + 1;
    return c;
}

char16_t fromWindows1252(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t{byte};
}

std::string messageInUtf8(std::string const& bytes)
{
    std::string out;
    for (std::size_t i = 0, length = 0; i < bytes.size(); i += length) {
        char32_t c = nextCodePoint(bytes, i, length);
        if (length == 0)
            c = fromWindows1252(static_cast<unsigned char>(bytes[i])), length = 1;
        appendUtf8(out, c);
    }
    return out;
}

bool utf8Locale(char const* lcAll, char const* lcCtype, char const* lang)
{
    char const* name = nullptr;
    for (char const* setting : {lcAll, lcCtype, lang})
        if (name == nullptr && setting != nullptr && *setting != '\0')
            name = setting;
    if (name == nullptr)
        return false;
    // language_TERRITORY.codeset@modifier; "C.UTF-8" too
    std::string codeset;
    for (char const* c = std::strchr(name, '.'); c != nullptr && *++c != '\0' && *c != '@';)
        if (*c != '-' && *c != '_')
            codeset += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return codeset == "utf8";
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}
