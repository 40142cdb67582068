// How a name's bytes are read for Windows: UTF-8 when they are UTF-8, else Windows-1252;
// how a message is shown at a terminal that reads UTF-8.
#include "image/message_text.h"
#include "image/name_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(NameEncoding, Utf8WhenValidElseWindows1252)
{
    // clang-format off
    // The bytes, then what decodeName and toWindows1252 make of them.
    struct { char const* what; std::string bytes; std::u16string decoded; std::string shown; } const rows[] = {
        {"UTF-8 from Notepad",        "\xC3\xA9glise.pgm",         u"\u00E9glise.pgm",    "\xE9glise.pgm"},
        {"Windows-1252 from the console", "\xE9glise.pgm",         u"\u00E9glise.pgm",    "\xE9glise.pgm"},
        {"the euro sign both ways",   "\xE2\x82\xAC",             u"\u20AC",             "\x80"},
        {"1252's high controls",      "\x80\x81\x9F",             u"\u20AC\u0081\u0178", "\x80\x81\x9F"},
        {"a letter 1252 lacks",       "\xC5\x81" "od\xC5\xBA",    u"\u0141od\u017A",     "?od?"},
        {"outside the first plane",   "\xF0\x9F\x93\xB7.pgm",     u"\U0001F4F7.pgm",     "?.pgm"},
        {"an overlong slash",         "\xC0\xAF",                 u"\u00C0\u00AF",       "\xC0\xAF"},
        {"a surrogate in UTF-8",      "\xED\xA0\x80",             u"\u00ED\u00A0\u20AC", "\xED\xA0\x80"},
        {"past U+10FFFF",             "\xF4\x90\x80\x80",         u"\u00F4\u0090\u20AC\u20AC", "\xF4\x90\x80\x80"},
        {"a sequence cut short",      "a\xC3",                    u"a\u00C3",            "a\xC3"},
    };
    // clang-format on
    for (auto const& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(decodeName(row.bytes), row.decoded);
        EXPECT_EQ(toWindows1252(row.bytes), row.shown);
        // UTF-8 comes back from encodeUtf8 byte for byte.
        EXPECT_EQ(isUtf8Text(row.bytes) ? encodeUtf8(row.decoded) : row.bytes, row.bytes);
    }
    EXPECT_EQ(encodeUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // a lone surrogate
}

// A message's words in Windows-1252 and a name in UTF-8 on one line, as tavrin-series
// prints them, each shown as meant; and the locales that read UTF-8.
TEST(NameEncoding, MessagesMixWindows1252WordsAndUtf8Names)
{
    EXPECT_EQ(messageInUtf8(("[2/6] 02 vue tourn\xC3\xA9"
                             "e.jpg : trouv\xE9"
                             "e, 5,0\xB0")),
              "[2/6] 02 vue tourn\xC3\xA9"
              "e.jpg : trouv\xC3\xA9"
              "e, 5,0\xC2\xB0");
    EXPECT_EQ(messageText("\x80 \xC5\x81\xC3"), u"\u20AC \u0141\u00C3");

    // clang-format off
    struct { char const* all; char const* ctype; char const* lang; bool utf8; } const rows[] = {
        {nullptr, nullptr, "fr_FR.UTF-8", true},   {nullptr, nullptr, "C.utf8", true},
        {nullptr, nullptr, "fr_FR.utf-8@euro", true}, {nullptr, nullptr, "fr_FR.ISO-8859-15", false},
        {"", "", "fr_FR.UTF-8", true},             {"C", nullptr, "fr_FR.UTF-8", false},
        {nullptr, "POSIX", "fr_FR.UTF-8", false},  {nullptr, nullptr, nullptr, false},
        {nullptr, nullptr, "UTF-8", false},
    };
    // clang-format on
    for (auto const& row : rows)
        EXPECT_EQ(utf8Locale(row.all, row.ctype, row.lang), row.utf8)
            << (row.all ? row.all : "-") << " " << (row.ctype ? row.ctype : "-") << " "
            << (row.lang ? row.lang : "-");
}

}  // namespace
