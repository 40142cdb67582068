// The bytes of a file name, as Windows must open them. A name arrives as bytes: typed at
// a console set to Windows-1252, or read from a file that Notepad saved as UTF-8 or as
// Windows-1252. Bytes that form valid UTF-8 are read as UTF-8, since accented Windows-1252
// text almost never does; any other bytes are read as Windows-1252. The same rule holds
// on every platform, so that it can be tested anywhere.
#ifndef TAVRIN_IMAGE_NAME_ENCODING_H
#define TAVRIN_IMAGE_NAME_ENCODING_H

#include <string>

// True when the bytes are well-formed UTF-8 (no overlong form, no surrogate, nothing
// past U+10FFFF) and at least one of them is not ASCII.
bool isUtf8Text(std::string const& bytes);

// The name in UTF-16, by the rule above.
std::u16string decodeName(std::string const& bytes);

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string encodeUtf8(std::u16string const& text);

// The name as Windows-1252 bytes: a UTF-8 name is converted, a character that
// Windows-1252 lacks becomes '?'; other names are already such bytes.
std::string toWindows1252(std::string const& bytes);

// The characters a message means, by messageInUtf8's rule (image/message_text.h).
std::u16string messageText(std::string const& bytes);

// The name for Windows' wide-character calls (whose wchar_t holds UTF-16).
std::wstring wideName(char const* bytes);

#endif
