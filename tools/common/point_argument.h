// A point given on a tool's command line as "x,y": x the column and y the row; a
// number as the tools write it in French prose; and a system error in French.
#ifndef TAVRIN_TOOLS_COMMON_POINT_ARGUMENT_H
#define TAVRIN_TOOLS_COMMON_POINT_ARGUMENT_H

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
// Every dot of text, a printf'd line of figures and words, made a decimal comma.
inline std::string withDecimalCommas(std::string text)
{
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

inline std::string french(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return withDecimalCommas(text);
}

// Why a system call failed, in French for the errors a photograph's file meets; the
// C library's own words for the rest.
inline std::string systemError(int error)
{
    switch (error) {
    case ENOENT:
        return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM:
        return "permission refus\xE9"
               "e";
    case ENOSPC:
        return "plus de place sur le disque";
    case EROFS:
        return "support en lecture seule";
    case EISDIR:
        return "c'est un dossier";
    case ENOTDIR:
        return "un \xE9l\xE9ment du chemin n'est pas un dossier";
    case ENAMETOOLONG:
        return "nom trop long";
    case ELOOP:
        return "trop de liens symboliques";
    case EFBIG:
        return "fichier trop grand";
    case EIO:
        return "erreur d'entr\xE9"
               "e-sortie";
    case EMFILE:
    case ENFILE:
        return "trop de fichiers ouverts";
    default:
        return std::strerror(error);
    }
}

#endif
