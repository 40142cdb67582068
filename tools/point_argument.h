// A point given on a tool's command line as "x,y": x the column and y the row.
#ifndef TAVRIN_TOOLS_POINT_ARGUMENT_H
#define TAVRIN_TOOLS_POINT_ARGUMENT_H

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

// "x,y": two finite decimal numbers and a comma, nothing else (no blank).
inline bool parsePointArgument(char const* text, double& x, double& y)
{
    auto number = [](char const*& s, double& value) {
        if (*s == '\0' || std::strchr(" \t\n\v\f\r", *s) != nullptr)
            return false;
        char* end = nullptr;
        errno = 0;
        value = std::strtod(s, &end);
        if (end == s || errno == ERANGE || !std::isfinite(value))
            return false;
        s = end;
        return true;
    };
    char const* s = text;
    return number(s, x) && *s++ == ',' && number(s, y) && *s == '\0';
}

#endif
