#include "app/run.h"

#include "app/debugmode.h"
#include "app/geometry.h"
#include "app/namecheck.h"
#include "app/platform.h"
#include "app/points.h"
#include "image/image.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

// A name, its output path and its test path are each kept within 256 bytes: the
// test path adds 22 bytes to the name, so a name of more than 233 is refused.
constexpr int kPathBytes = 256;
constexpr int kLongestName = 233;

using Path = char[kPathBytes];

char const* const kTitle[] = {
    R"( _____                       _         )",
    R"(|_   _|  __ _ __    __ _ __ (_)  _ __  )",
    R"(  | |   / _` |\ \  / /| '__|| | | '_ \ )",
    R"(  | |  | (_| | \ \/ / | |   | | | | | |)",
    R"(  |_|   \__,_|  \__/  |_|   |_| |_| |_|)",
    R"(                                       )",
};

char const* const kSubtitle[] = {
    R"(     _            ___   _  __     _     _     )",
    R"(  __| |  ___     / _ \ | |/ /    / \   | |    )",
    R"( / _` | / _ \   | | | || ' /    / _ \  | |    )",
    R"(| (_| ||  __/   | |_| || |\ \  / ___ \ | |___ )",
    R"( \__,_| \___|    \___/ |_| \_\/_/   \_\|_____|)",
    R"(                                              )",
};

void printBanner()
{
    for (char const* line : kTitle)
        std::printf("%s\n", line);
    std::printf("\n");
    for (char const* line : kSubtitle)
        std::printf("\t\t%s\n", line);
    std::printf("\n");
}

enum class NameRead { word, endOfInput, tooLong };

// One whitespace-delimited word, as "%s" reads it: leading white space is
// skipped and the white space that ends the word stays in the input. Unlike
// "%s" it never writes past the buffer: a longer word is read whole and refused.
NameRead readName(Path& name)
{
    std::fflush(stdout);
    int c = std::getchar();
    while (c != EOF && std::isspace(c))
        c = std::getchar();
    if (c == EOF)
        return NameRead::endOfInput;

    Path word;
    int length = 0;
    for (; c != EOF && !std::isspace(c); c = std::getchar()) {
        if (length < kLongestName)
            word[length] = static_cast<char>(c);
        ++length;
        if (length > kLongestName)
            length = kLongestName + 1;  // counts no further: the word is refused
    }
    if (c != EOF)
        std::ungetc(c, stdin);
    if (length > kLongestName)
        return NameRead::tooLong;
    word[length] = '\0';
    std::memcpy(name, word, sizeof word);
    return NameRead::word;
}

// The output path of the name. The output folder is made sure to take a file:
// a test file is created and deleted there, and the folder made when it cannot be.
std::string prepareOutput(char const* name)
{
    std::string outputPath = std::string(outputFolderPrefix) + name;
    std::string const testPath = outputPath + "-test.tmp";
    FILE* test = std::fopen(testPath.c_str(), "wb");
    if (test != nullptr) {
        std::fclose(test);
        std::remove(testPath.c_str());
    } else {
        makeOutputFolder();
    }
    return outputPath;
}

int endRun(char const* message)
{
    std::printf("%s", message);
    pauseConsole();
    return 1;
}

char const kNameTooLong[] =
    "\nNom de fichier trop long : 233 caract\xE8res au plus\n";
char const kEndOfInput[] =
    "\nFin des donn\xE9" "es : plus aucun nom d'image \xE0 lire\n";

// Reads a name at a prompt; false when the run must end (status 1).
bool takeName(Path& name, int* status, bool endOfInputEnds)
{
    switch (readName(name)) {
    case NameRead::word:
        return true;
    case NameRead::tooLong:
        *status = endRun(kNameTooLong);
        return false;
    case NameRead::endOfInput:
        if (!endOfInputEnds)
            return true;  // the name stays empty and its check fails
        *status = endRun(kEndOfInput);
        return false;
    }
    return true;
}

void reportImage(IMAGE const& im, char const* readLine, char const* outputPath)
{
    std::printf("\nImage en N&B de %d x %d pix prise en charge...\n\n", im.width, im.height);
    std::printf("%s", readLine);
    std::printf("\nFichier creer :");
    std::printf("\n%s", outputPath);
    std::printf("\n");
}

int runDialogue()
{
    printBanner();

    Path name = "";
    int status = 1;
    if (debugmode) {
        std::snprintf(name, sizeof name, "%s", "img1.pgm");
    } else {
        std::printf("\nEntrez le nom de l'image de Base avec l'extention\n  *.PGM\n\t -> ");
        if (!takeName(name, &status, false))
            return status;
    }
    if (!passesNameCheck(name))
        return endRun("");

    std::string outputPath = prepareOutput(name);
    IMAGE base(name);
    int const baseWidth = base.width;
    int const baseHeight = base.height;
    base.writeIMAGE(outputPath.c_str());
    reportImage(base, "L'image est lue...", outputPath.c_str());

    Point a;
    Point b;
    readPoints(ImageKind::base, a, b);
    Segment const baseSegment = measureSegment(a, b);
    printGisement(name, baseSegment.bearing, baseSegment.distance);
    double const baseAx = a.x;
    double const baseAy = a.y;

    for (int counter = 1;; ++counter) {
        std::printf("\nEntrez le nom de l'image %i avec l'extention\n\t*.PGM\n\t\t -> ", counter);
        if (debugmode)
            std::snprintf(name, sizeof name, "%s", "img2.pgm");
        else if (!takeName(name, &status, true))
            return status;
        if (!passesNameCheck(name))
            return endRun("");

        outputPath = prepareOutput(name);
        IMAGE further(name);
        further.writeIMAGE(outputPath.c_str());
        char readLine[64];
        std::snprintf(readLine, sizeof readLine, "L'image %i est lue...", counter);
        reportImage(further, readLine, outputPath.c_str());

        Point a2;
        Point b2;
        readPoints(ImageKind::further, a2, b2);
        Segment const s = measureSegment(a2, b2);
        printGisement(name, s.bearing, s.distance);
        Transform const t =
            registerIMAGE(baseSegment.bearing, baseSegment.distance, a2, s.bearing, s.distance);
        std::unique_ptr<IMAGE> rectified =
            resampleIMAGE(further, baseAx, baseAy, baseWidth, baseHeight, t);
        rectified->writeIMAGE(outputPath.c_str());
        rectified.reset();  // released before the further image

        if (debugmode) {
            std::puts("\n\n");
            pauseConsole();
            return 0;
        }
    }
}

}  // namespace

int runSeries()
{
    try {
        return runDialogue();
    } catch (std::bad_alloc const&) {
        std::fflush(stdout);
        std::fputs("\nM\xE9moire insuffisante pour les pixels de l'image\n", stderr);
        pauseConsole();
        return 1;
    }
}
