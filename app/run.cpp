#include "app/run.h"

#include "app/debugmode.h"
#include "app/geometry.h"
#include "app/namecheck.h"
#include "app/platform.h"
#include "app/points.h"
#include "image/image.h"
#include "image/whole_file.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// A name was held in 256 bytes beside output and test paths 22 bytes longer: names
// of more than 233 bytes are refused, as they always were.
constexpr int kPathBytes = 256;
constexpr int kLongestName = 233;

using Path = char[kPathBytes];

// clang-format off
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
// clang-format on

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

// True when an element of the name is "..": its output path would leave the folder.
bool leavesOutputFolder(char const* name)
{
    std::string const path = name;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of(pathSeparators, start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The output path of the name. The folder that is to take the file is probed with a
// fresh file of the program's own, and Redressement is made when it takes none.
std::string prepareOutput(char const* name)
{
    std::string outputPath = std::string(outputFolderPrefix) + name;
    std::string const probed = leavesOutputFolder(name) ? outputFolderPrefix : outputPath;
    if (!canWriteBeside(probed.c_str()))
        makeOutputFolder();
    return outputPath;
}

// The files this run has read: no output may replace one of them.
class Inputs {
public:
    void add(char const* name)
    {
        FileIdentity id;
        if (identifyFile(name, true, id))
            read_.push_back(id);
    }

    bool holds(char const* path) const
    {
        FileIdentity id;
        if (!identifyFile(path, false, id))
            return false;
        for (FileIdentity const& input : read_)
            if (input.device == id.device && input.index == id.index)
                return true;
        return false;
    }

private:
    std::vector<FileIdentity> read_;
};

void refuseWrite(char const* why, char const* outputPath)
{
    std::fflush(stdout);
    std::fprintf(stderr, why, outputPath);
}

// Writes the image at the output path unless the path leaves the output folder or
// names a file this run has read; a refused write is reported and the run goes on.
void writeOutput(IMAGE const& im, char const* name, std::string const& outputPath,
                 Inputs const& inputs)
{
    if (leavesOutputFolder(name))
        refuseWrite("\n\xC9"
                    "criture refus\xE9"
                    "e : %s sortirait du dossier Redressement\n",
                    outputPath.c_str());
    else if (inputs.holds(outputPath.c_str()))
        refuseWrite("\n\xC9"
                    "criture refus\xE9"
                    "e : %s est une image lue par cette s\xE9rie\n",
                    outputPath.c_str());
    else
        im.writeIMAGE(outputPath.c_str());
}

int endRun(char const* message)
{
    std::printf("%s", message);
    pauseConsole();
    return 1;
}

char const kNameTooLong[] = "\nNom de fichier trop long : 233 caract\xE8res au plus\n";
char const kEndOfInput[] = "\nFin des donn\xE9"
                           "es : plus aucun nom d'image \xE0 lire\n";

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
    Inputs inputs;
    inputs.add(name);
    IMAGE base(name);
    int const baseWidth = base.width;
    int const baseHeight = base.height;
    writeOutput(base, name, outputPath, inputs);
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
        inputs.add(name);
        IMAGE further(name);
        writeOutput(further, name, outputPath, inputs);
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
        writeOutput(*rectified, name, outputPath, inputs);
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
    preparePlatform();
    try {
        return runDialogue();
    } catch (std::bad_alloc const&) {
        std::fflush(stdout);
        std::fputs("\nM\xE9moire insuffisante pour les pixels de l'image\n", stderr);
        pauseConsole();
        return 1;
    }
}
