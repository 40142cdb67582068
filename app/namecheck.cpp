#include "app/namecheck.h"

#include <cstdio>

bool passesNameCheck(char const* name)
{
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr) {
        std::printf("\nImpossible d'ouvrir le fichier :\n\t%s\n en lecture\n", name);
        return false;
    }
    // A probe, not a parse: comment lines and anything else before "P5" pass.
    char piece[30];
    bool found = false;
    while (!found && std::fgets(piece, sizeof piece, f) != nullptr)
        found = piece[0] == 'P' && piece[1] == '5';
    std::fclose(f);
    if (!found)
        std::printf("\nERR.");
    return found;
}
