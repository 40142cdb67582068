// A point given on a tool's command line as "x,y": x the column and y the row; and a
// number as the tools write it in French prose.
#ifndef TAVRIN_TOOLS_POINT_ARGUMENT_H
#define TAVRIN_TOOLS_POINT_ARGUMENT_H

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// A decimal as a French reader writes it: a comma before the decimals. Never in the
// answers that tavrin reads, whose decimals take a point.
inline std::string french(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

#endif
