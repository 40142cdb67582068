#include "app/namecheck.h"

#include "app/platform.h"
#include "image/platform.h"

#include <cstdio>

bool passesNameCheck(char const* name)
{
    bool regular = true;
    FILE* f = openRegularFile(name, regular);
    if (f == nullptr && regular) {
        std::printf("\nImpossible d'ouvrir le fichier :\n\t%s\n en lecture\n", name);
        return false;
    }
    // A probe, not a parse: comment lines and anything else before "P5" pass. A name
    // that is not a regular file has nothing to probe and fails as a file without "P5".
    char piece[30];
    bool found = false;
    while (f != nullptr && !found && std::fgets(piece, sizeof piece, f) != nullptr)
        found = piece[0] == 'P' && piece[1] == '5';
    if (f != nullptr)
        std::fclose(f);
    if (!found)
        std::printf("\nERR.");
    return found;
}
