// How a message's bytes are shown where text is read as Unicode (a terminal whose
// locale is UTF-8, a Windows console): its words are Windows-1252 bytes and the names in
// it the operator's own bytes, so each well-formed UTF-8 sequence (a name) is read as
// UTF-8 and any other byte as Windows-1252. Kept apart from the names' rules
// (name_encoding.h), which build on it, so that a tool shows text without them.
#ifndef TAVRIN_IMAGE_MESSAGE_TEXT_H
#define TAVRIN_IMAGE_MESSAGE_TEXT_H

#include <cstddef>
#include <string>

// The message in UTF-8, by the rule above.
std::string messageInUtf8(std::string const& bytes);

// True when the locale that the environment names writes UTF-8: LC_ALL, else LC_CTYPE,
// else LANG, the first set and not empty (POSIX's order); any null is unset.
bool utf8Locale(char const* lcAll, char const* lcCtype, char const* lang);

// The code point that starts at bytes[i], with its length; length 0 when the bytes
// there are not well-formed UTF-8 (an overlong form, a surrogate, past U+10FFFF).
char32_t nextCodePoint(std::string const& bytes, std::size_t i, std::size_t& length);

// The character a Windows-1252 byte stands for.
char16_t fromWindows1252(unsigned char byte);

// The code point appended in UTF-8.
void appendUtf8(std::string& out, char32_t c);

#endif
