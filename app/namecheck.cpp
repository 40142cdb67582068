#include "app/namecheck.h"

#include "app/platform.h"
#include "image/file_system.h"

#include <cerrno>
#include <cstdio>

namespace {

// The line reader of the check returns at most 29 characters at a time: a piece
// begins each line and every 29th character of a long line. True when a piece begins
// with "P5". The file is scanned in blocks, so that a large file without "P5" costs
// its reading and little more; the first "P5" piece ends the scan, so a photograph
// costs one block of 64 KB at most.
bool hasP5Piece(std::FILE* f)
{
    constexpr long kPiece = 29;
    static unsigned char block[1 << 16];
    long column = 0;           // characters since the piece began
    bool afterPieceP = false;  // the last character read began a piece and was 'P'
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        for (std::size_t i = 0; i < n; ++i) {
            unsigned char const c = block[i];
            if (afterPieceP && c == '5')
                return true;
            afterPieceP = c == 'P' && column == 0;
            column = c == '\n' || column == kPiece - 1 ? 0 : column + 1;
        }
    }
    return false;
}

}  // namespace

bool passesNameCheck(char const* name)
{
    bool regular = true;
    FILE* f = openRegularFile(name, regular);
    if (f == nullptr && regular) {
        bool const held = errno == EBUSY;
        std::printf("\nImpossible d'ouvrir le fichier :\n\t%s\n en lecture\n",
                    consoleText(name, stdout).c_str());
        if (held)
            std::printf("L'image est utilis\xE9"
                        "e par un autre programme\n");
        return false;
    }
    // A probe, not a parse: comment lines and anything else before "P5" pass. A name
    // that is not a regular file has nothing to probe and fails as a file without "P5".
    bool const found = f != nullptr && hasP5Piece(f);
    if (f != nullptr)
        std::fclose(f);
    if (!found)
        std::printf("\nERR.");  // the pause follows on the same line
    return found;
}
