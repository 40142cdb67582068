#include "app/run.h"

#include "app/debugmode.h"
#include "app/geometry.h"
#include "app/namecheck.h"
#include "app/platform.h"
#include "app/points.h"
#include "image/answers.h"
#include "image/file_system.h"
#include "image/image.h"
#include "image/name_encoding.h"
#include "image/results_folder.h"
#include "image/whole_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// A name is held in 256 bytes beside output and test paths 22 bytes longer: names of
// more than answers::kLongestName bytes are refused.
constexpr int kLongestName = static_cast<int>(answers::kLongestName);

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

bool atStartOfInput = true;

// UTF-16 text, little or big endian, as the UTF-8 text it holds; a lone surrogate
// becomes U+FFFD, and an odd last byte is dropped.
std::string utf8FromUtf16(std::string const& bytes, bool bigEndian)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) {
        unsigned const first = static_cast<unsigned char>(bytes[k]);
        unsigned const second = static_cast<unsigned char>(bytes[k + 1]);
        text += static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    return encodeUtf8(text);
}

// The rest of standard input, read to its end.
std::string restOfInput()
{
    std::string bytes;
    char block[1 << 12];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, stdin)) > 0)
        bytes.append(block, n);
    return bytes;
}

// A byte-order mark at the very start of the input says how the answers were saved:
// UTF-8's (Notepad's UTF-8) is passed over; after UTF-16's (Notepad's "Unicode",
// PowerShell 5.1's >) the whole input is read as UTF-16 and the run reads the UTF-8
// text it holds. Bytes that only begin a mark begin the first name, in word. Returns
// the first byte after the mark.
int passByteOrderMark(int c, std::string& word)
{
    if (c == 0xFF || c == 0xFE) {
        int const next = std::getchar();
        if (next == (c == 0xFF ? 0xFE : 0xFF)) {
            feedStandardInput(utf8FromUtf16(restOfInput(), c == 0xFE));
            return std::getchar();
        }
        word += static_cast<char>(c);
        return next;
    }
    for (unsigned char mark : {0xEFu, 0xBBu, 0xBFu}) {
        if (c != mark)
            break;
        word += static_cast<char>(c);
        c = std::getchar();
    }
    if (word.size() == 3)
        word.clear();
    return c;
}

// A name as "%s" reads a word: leading white space is skipped and the white space
// that ends the word stays in the input. A name that begins with a double quote runs
// to the next one on the same line, spaces included, as Explorer pastes a dropped
// path; the quotes are not part of it. Without a closing quote the name ends at the
// line's end (a CR before it is part of the line end), so that the points that follow
// are still read as points. Past the longest name the read stops and the name is refused.
NameRead readName(std::string& name)
{
    std::fflush(stdout);
    std::string word;
    int c = std::getchar();
    if (atStartOfInput) {
        atStartOfInput = false;
        c = passByteOrderMark(c, word);
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
    for (; c != EOF && (quoted ? c != '"' && c != '\n' : !std::isspace(c)); c = std::getchar()) {
        if (quoted && c == '\r') {
            int const next = std::getchar();
            std::ungetc(next, stdin);
            if (next == '\n' || next == EOF)
                continue;
        }
        word += static_cast<char>(c);
        if (word.size() > static_cast<std::size_t>(kLongestName))
            return NameRead::tooLong;
    }
    if (c != EOF && (!quoted || c == '\n'))
        std::ungetc(c, stdin);
    name = word;
    return NameRead::word;
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
    std::size_t start = 0;
    while (start <= outputName.size()) {
        std::size_t end = outputName.find_first_of(pathSeparators, start);
        if (end == std::string::npos)
            end = outputName.size();
        if (outputName.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Why nothing can be written into Redressement, in the operator's words.
char const* folderReason(int err)
{
    if (isNotFolder(std::string(outputFolderPrefix, std::strlen(outputFolderPrefix) - 1).c_str()))
        return TAVRIN_RESULTS_FOLDER " est un fichier";
    switch (err) {
    case ENOENT:
        return "le dossier ne peut pas \xEAtre cr\xE9\xE9";
    case EACCES:
    case EPERM:
        return "dossier en lecture seule";
    case EROFS:
        return "disque en lecture seule";
    case ENOSPC:
        return "disque plein";
    default:
        return "erreur d'\xE9"
               "criture";
    }
}

// Redressement is made when no fresh file can be made in it. False, once said why,
// when it still takes none: nothing of the image could be written.
bool prepareOutput()
{
    if (canWriteBeside(outputFolderPrefix))
        return true;
    makeOutputFolder();
    if (canWriteBeside(outputFolderPrefix))
        return true;
    char const* const reason = folderReason(errno);
    std::printf("\nImpossible d'\xE9"
                "crire dans le dossier " TAVRIN_RESULTS_FOLDER " : %s\n",
                reason);
    return false;
}

// Files by identity: a set that a second name for the same file cannot get round.
class Files {
public:
    void add(FileIdentity const& id) { ids_.push_back(id); }

    void drop(FileIdentity const& id)
    {
        ids_.erase(std::remove_if(ids_.begin(), ids_.end(),
                                  [&](FileIdentity const& held) { return held == id; }),
                   ids_.end());
    }

    // The file at path itself (a link there, not what it points to) is in the set.
    bool holds(char const* path, FileIdentity const* except = nullptr) const
    {
        FileIdentity id;
        if (!identifyFile(path, false, id) || (except != nullptr && id == *except))
            return false;
        for (FileIdentity const& held : ids_)
            if (held == id)
                return true;
        return false;
    }

private:
    std::vector<FileIdentity> ids_;
};

// What the run keeps apart: the images it has read, which no output may replace, and
// the files it has written, which no later output may replace either.
struct Series {
    Files inputs;
    Files outputs;
};

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
    case EBUSY:
        return "utilis\xE9"
               "e par un autre programme";
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
    FileIdentity file;   // when ok: the file written
};

Written refuseWrite(std::string const& outputPath, char const* why, char const* reason)
{
    std::fflush(stdout);
    std::fprintf(stderr,
                 "\n\xC9"
                 "criture refus\xE9"
                 "e : %s %s\n",
                 consoleText(outputPath, stderr).c_str(), why);
    return {false, reason, {}};
}

// Writes the image at the output path unless the path leaves the output folder, goes
// through a link below it, names a file this run has read or one it has written (but
// for ownCopy, the image's own copy of this pass); a refused write is reported and
// the run goes on.
Written writeOutput(IMAGE const& im, std::string const& outputPath, Series& series,
                    FileIdentity const* ownCopy = nullptr)
{
    char const* const outside = "sortirait du dossier " TAVRIN_RESULTS_FOLDER;
    if (leavesOutputFolder(outputPath.substr(std::strlen(outputFolderPrefix))))
        return refuseWrite(outputPath, outside, outside);
    OutputPlace const place(outputPath);
    if (place.step() == FolderStep::link)
        return refuseWrite(outputPath, "passerait par un lien", "un dossier du chemin est un lien");
    if (place.step() == FolderStep::failed) {
        reportWriteFailure(place.error());
        return {false, failureReason(place.error()), {}};
    }
    if (series.inputs.holds(place.path()))
        return refuseWrite(outputPath, "est une image lue par cette s\xE9rie",
                           "image lue par cette s\xE9rie");
    if (series.outputs.holds(place.path(), ownCopy))
        return refuseWrite(outputPath, "est un autre r\xE9sultat de cette s\xE9rie",
                           "un autre r\xE9sultat de cette s\xE9rie porte ce nom");
    Written w = {false, nullptr, {}};
    if (!im.writeIMAGE(place.path())) {
        w.reason = failureReason(errno);
        return w;
    }
    w.ok = identifyFile(place.path(), false, w.file);
    if (w.ok)
        series.outputs.add(w.file);
    return w;
}

// Removes the file at the output path when it is still the one this pass wrote.
bool removeOwnCopy(std::string const& outputPath, FileIdentity const& copy)
{
    OutputPlace const place(outputPath);
    FileIdentity there;
    return place.step() == FolderStep::folder && identifyFile(place.path(), false, there) &&
           there == copy && removeFile(place.path()) == 0;
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

char const kEndOfInput[] = "\nFin des donn\xE9"
                           "es : plus aucun nom d'image \xE0 lire\n";

// Reads a name at a prompt; false when the run must end (status 1).
bool takeName(std::string& name, int* status, bool endOfInputEnds)
{
    switch (readName(name)) {
    case NameRead::word:
        return true;
    case NameRead::tooLong: {
        char tooLong[64];
        std::snprintf(tooLong, sizeof tooLong, "\nNom de fichier trop long : %zu octets au plus\n",
                      answers::kLongestName);
        *status = endRun(tooLong);
        return false;
    }
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
    std::unique_ptr<IMAGE> image;  // null when it could not be loaded
    Written copy = {false, nullptr, {}};
    Segment segment;
    Point a;
};

enum class Step { taken, endsRun };

// No result for the further image: its copy as loaded, if written, goes too, so that
// no file under the result's name holds an image not rectified; a copy that cannot go
// is said, with what it is.
void sayNoResult(Taken const& further, int counter)
{
    if (!further.copy.ok)
        std::printf("Aucun r\xE9sultat pour l'image %i\n", counter);
    else if (removeOwnCopy(further.outputPath, further.copy.file))
        std::printf("Aucun r\xE9sultat pour l'image %i : sa copie non redress\xE9"
                    "e est retir\xE9"
                    "e\n",
                    counter);
    else  // held open by another program, say: the operator must know what it is
        std::printf("Aucun r\xE9sultat pour l'image %i : sa copie non redress\xE9"
                    "e n'a pu \xEAtre retir\xE9"
                    "e et reste sous le nom %s ; c'est l'image telle que lue, pas un "
                    "r\xE9sultat\n",
                    counter, consoleText(further.outputPath, stdout).c_str());
}

// An image that cannot be loaded (its size unreadable or beyond the limit, no "P5" at
// its start) gives no file: the loader has said why on stderr. The base's ends the run
// before any point is asked; a further image's points are still read, so that the
// answers stay in step, and the series goes on without it.
Step takeImage(std::string const& name, ImageKind kind, int counter, Series& series, Taken& taken)
{
    if (!passesNameCheck(name.c_str()) || !prepareOutput())
        return Step::endsRun;
    taken.outputPath = std::string(outputFolderPrefix) + outputNameOf(name);
    FileIdentity input;
    if (identifyFile(name.c_str(), true, input))
        series.inputs.add(input);
    taken.image = std::make_unique<IMAGE>(name.c_str());
    if (taken.image->pix == nullptr) {
        taken.image.reset();
        std::printf("\nImpossible de lire l'image :\n\t%s\n", consoleText(name, stdout).c_str());
        if (kind == ImageKind::base)
            return Step::endsRun;
        std::printf("Aucun r\xE9sultat pour l'image %i\n", counter);
    } else {
        char readLine[64];
        std::snprintf(readLine, sizeof readLine,
                      kind == ImageKind::base ? "L'image est lue..." : "L'image %i est lue...",
                      counter);
        taken.copy = writeOutput(*taken.image, taken.outputPath, series);
        reportImage(*taken.image, readLine, taken.outputPath, taken.copy);
    }
    Point b;
    if (!readPoints(kind, taken.a, b)) {
        if (kind == ImageKind::further && taken.copy.ok) {
            series.outputs.drop(taken.copy.file);
            sayNoResult(taken, counter);
        }
        return Step::endsRun;
    }
    taken.segment = measureSegment(taken.a, b);
    printGisement(name.c_str(), taken.segment.bearing, taken.segment.distance);
    return Step::taken;
}

// The rectified image replaces the further image's copy. When it cannot be written,
// the copy goes too: no file under the result's name holds an image not rectified.
void writeResult(IMAGE const& rectified, Taken const& further, int counter, Series& series)
{
    FileIdentity const* const copy = further.copy.ok ? &further.copy.file : nullptr;
    Written const w = writeOutput(rectified, further.outputPath, series, copy);
    if (copy != nullptr)
        series.outputs.drop(*copy);
    if (w.ok)
        return;
    reportNotWritten(further.outputPath, w);
    sayNoResult(further, counter);
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
    Series series;
    Taken base;
    if (takeImage(name, ImageKind::base, 0, series, base) == Step::endsRun)
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
        Taken further;
        if (takeImage(name, ImageKind::further, counter, series, further) == Step::endsRun)
            return endRun("");

        if (further.image != nullptr) {
            Transform const t =
                registerIMAGE(base.segment.bearing, base.segment.distance, further.a,
                              further.segment.bearing, further.segment.distance);
            std::unique_ptr<IMAGE> rectified =
                resampleIMAGE(*further.image, baseAx, baseAy, baseWidth, baseHeight, t);
            writeResult(*rectified, further, counter, series);
            rectified.reset();  // released before the further image
        }

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
