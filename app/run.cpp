#include "app/run.h"

#include "app/debugmode.h"
#include "app/geometry.h"
#include "app/namecheck.h"
#include "app/platform.h"
#include "app/points.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/whole_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// A name was held in 256 bytes beside output and test paths 22 bytes longer: names
// of more than 233 bytes are refused, as they always were.
constexpr int kLongestName = 233;

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

// Notepad may begin a saved answers file with a UTF-8 byte-order mark: at the very
// start of the input it is not part of the first name.
bool atStartOfInput = true;

// A name as "%s" reads a word: leading white space is skipped and the white space
// that ends the word stays in the input. A name that begins with a double quote runs
// to the next one, spaces included, as Explorer pastes a dropped path; the quotes are
// not part of it. Past the longest name the read stops and the name is refused.
NameRead readName(std::string& name)
{
    std::fflush(stdout);
    std::string word;
    int c = std::getchar();
    if (atStartOfInput) {
        atStartOfInput = false;
        for (unsigned char mark : {0xEFu, 0xBBu, 0xBFu}) {
            if (c != mark)
                break;
            word += static_cast<char>(c);
            c = std::getchar();
        }
        if (word.size() == 3)
            word.clear();
    }
    bool quoted = false;
    if (word.empty()) {
        while (c != EOF && std::isspace(c))
            c = std::getchar();
        if (c == EOF)
            return NameRead::endOfInput;
        quoted = c == '"';
        if (quoted)
            c = std::getchar();
    }
    for (; c != EOF && (quoted ? c != '"' : !std::isspace(c)); c = std::getchar()) {
        word += static_cast<char>(c);
        if (word.size() > static_cast<std::size_t>(kLongestName))
            return NameRead::tooLong;
    }
    if (c != EOF && !quoted)
        std::ungetc(c, stdin);
    name = word;
    return NameRead::word;
}

// The elements of a name, split at the platform's separators.
std::vector<std::string> elementsOf(std::string const& name)
{
    std::vector<std::string> elements;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of(pathSeparators, start);
        if (end == std::string::npos)
            end = name.size();
        elements.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    return elements;
}

// What the name is written as inside Redressement: a relative name keeps its folders,
// an absolute or drive-qualified one keeps its last element only.
std::string outputNameOf(std::string const& name)
{
    std::size_t const root = rootLength(name.c_str());
    if (root == 0)
        return name;
    std::size_t const last = name.find_last_of(pathSeparators);
    return name.substr(last == std::string::npos || last < root ? root : last + 1);
}

// True when an element of the output name is "..": its path would leave the folder.
bool leavesOutputFolder(std::string const& outputName)
{
    for (std::string const& element : elementsOf(outputName))
        if (element == "..")
            return true;
    return false;
}

// The output path of the name. Redressement is made when no fresh file can be made in
// it; the folders below it are made when the image is written.
std::string prepareOutput(std::string const& name)
{
    if (!canWriteBeside(outputFolderPrefix))
        makeOutputFolder();
    return std::string(outputFolderPrefix) + outputNameOf(name);
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

// Makes the folders between Redressement and the file, each a real folder: none
// may be a link. False when one is a link; a folder that cannot be made is left to
// the write, which then fails with the system's reason.
bool makeInnerFolders(std::string const& outputPath)
{
    std::string const prefix = outputFolderPrefix;
    std::vector<std::string> const elements = elementsOf(outputPath.substr(prefix.size()));
    std::string folder = outputPath.substr(0, prefix.size() - 1);
    for (std::size_t k = 0; k + 1 < elements.size(); ++k) {
        folder += prefix.back() + elements[k];
        if (enterFolder(folder.c_str()) == FolderStep::link)
            return false;
    }
    return true;
}

// Why a write failed, in the operator's words.
char const* failureReason(int err)
{
    switch (err) {
    case ENOSPC:
        return "disque plein";
    case EFBIG:
        return "fichier trop grand";
    case EACCES:
    case EPERM:
        return "acc\xE8s refus\xE9";
    case EROFS:
        return "disque en lecture seule";
    case ENOENT:
        return "dossier introuvable";
    case ENOTDIR:
        return "un fichier barre le chemin";
    case EISDIR:
        return "un dossier porte ce nom";
    case EEXIST:
        return "un fichier sp\xE9"
               "cial porte ce nom";
    case ENAMETOOLONG:
        return "chemin trop long";
    default:
        return "erreur d'\xE9"
               "criture";
    }
}

struct Written {
    bool ok;
    char const* reason;  // when not ok
};

Written refuseWrite(std::string const& outputPath, char const* why, char const* reason)
{
    std::fflush(stdout);
    std::fprintf(stderr,
                 "\n\xC9"
                 "criture refus\xE9"
                 "e : %s %s\n",
                 consoleText(outputPath, stderr).c_str(), why);
    return {false, reason};
}

// Writes the image at the output path unless the path leaves the output folder, goes
// through a link below it or names a file this run has read; a refused write is
// reported and the run goes on.
Written writeOutput(IMAGE const& im, std::string const& outputPath, Inputs const& inputs)
{
    char const* const outside = "sortirait du dossier Redressement";
    std::string const outputName = outputPath.substr(std::strlen(outputFolderPrefix));
    if (leavesOutputFolder(outputName))
        return refuseWrite(outputPath, outside, outside);
    if (!makeInnerFolders(outputPath))
        return refuseWrite(outputPath, "passerait par un lien", "un dossier du chemin est un lien");
    if (inputs.holds(outputPath.c_str()))
        return refuseWrite(outputPath, "est une image lue par cette s\xE9rie",
                           "image lue par cette s\xE9rie");
    if (im.writeIMAGE(outputPath.c_str()))
        return {true, nullptr};
    return {false, failureReason(errno)};
}

// After a write that did not take place, in place of "Fichier creer :".
void reportNotWritten(std::string const& outputPath, Written const& w)
{
    std::printf("\nFichier non \xE9"
                "crit : %s (%s)\n",
                consoleText(outputPath, stdout).c_str(), w.reason);
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
bool takeName(std::string& name, int* status, bool endOfInputEnds)
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

void reportImage(IMAGE const& im, char const* readLine, std::string const& outputPath,
                 Written const& w)
{
    std::printf("\nImage en N&B de %d x %d pix prise en charge...\n\n", im.width, im.height);
    std::printf("%s", readLine);
    if (!w.ok) {
        reportNotWritten(outputPath, w);
        return;
    }
    std::printf("\nFichier creer :");
    std::printf("\n%s", consoleText(outputPath, stdout).c_str());
    std::printf("\n");
}

// One image of the series taken in: its name checked, the image loaded and written
// as read, its points typed. The file is written before the points are asked for, so
// that the operator sees at once whether its place in Redressement takes a file.
struct Taken {
    std::string outputPath;
    std::unique_ptr<IMAGE> image;
    Segment segment;
    Point a;
};

bool takeImage(std::string const& name, ImageKind kind, char const* readLine, Inputs& inputs,
               Taken& taken)
{
    if (!passesNameCheck(name.c_str()))
        return false;
    taken.outputPath = prepareOutput(name);
    inputs.add(name.c_str());
    taken.image = std::make_unique<IMAGE>(name.c_str());
    reportImage(*taken.image, readLine, taken.outputPath,
                writeOutput(*taken.image, taken.outputPath, inputs));
    Point b;
    readPoints(kind, taken.a, b);
    taken.segment = measureSegment(taken.a, b);
    printGisement(name.c_str(), taken.segment.bearing, taken.segment.distance);
    return true;
}

int runDialogue()
{
    printBanner();

    std::string name;
    int status = 1;
    if (debugmode) {
        name = "img1.pgm";
    } else {
        std::printf("\nEntrez le nom de l'image de Base avec l'extention\n  *.PGM\n\t -> ");
        if (!takeName(name, &status, false))
            return status;
    }
    Inputs inputs;
    Taken base;
    if (!takeImage(name, ImageKind::base, "L'image est lue...", inputs, base))
        return endRun("");
    int const baseWidth = base.image->width;
    int const baseHeight = base.image->height;
    double const baseAx = base.a.x;
    double const baseAy = base.a.y;

    for (int counter = 1;; ++counter) {
        std::printf("\nEntrez le nom de l'image %i avec l'extention\n\t*.PGM\n\t\t -> ", counter);
        if (debugmode)
            name = "img2.pgm";
        else if (!takeName(name, &status, true))
            return status;
        char readLine[64];
        std::snprintf(readLine, sizeof readLine, "L'image %i est lue...", counter);
        Taken further;
        if (!takeImage(name, ImageKind::further, readLine, inputs, further))
            return endRun("");

        Transform const t = registerIMAGE(base.segment.bearing, base.segment.distance, further.a,
                                          further.segment.bearing, further.segment.distance);
        std::unique_ptr<IMAGE> rectified =
            resampleIMAGE(*further.image, baseAx, baseAy, baseWidth, baseHeight, t);
        Written const w = writeOutput(*rectified, further.outputPath, inputs);
        if (!w.ok)
            reportNotWritten(further.outputPath, w);
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
