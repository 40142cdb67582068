// The lines by which tavrin-match and tavrin-diff, given --machine, tell a caller what
// they found of each photograph: the tool's name, a word, then fields, one tab between
// each, numbers with decimal points, the file's name last, as it was given. No
// translation touches them; man/tavrin-match.1 and man/tavrin-diff.1 describe them.
#ifndef TAVRIN_TOOLS_COMMON_MACHINE_LINE_H
#define TAVRIN_TOOLS_COMMON_MACHINE_LINE_H

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace machine {

// True when --machine is the first argument, which is then taken off, as if never given.
inline bool asked(int& argc, char**& argv)
{
    if (argc < 2 || std::string(argv[1]) != "--machine")
        return false;
    argv[1] = argv[0];
    ++argv, --argc;
    return true;
}

// A number with that many decimals after a point.
inline std::string number(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// A place as tavrin reads points: "x,y", two decimals each.
inline std::string point(double x, double y)
{
    return number(x, 2) + "," + number(y, 2);
}

// The line, its end included. A line break within a field, or a tab within a field but
// the last, becomes a space: the line stays one line of as many fields.
inline std::string line(char const* tool, std::vector<std::string> fields)
{
    std::string text = tool;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        std::string& f = fields[k];
        std::replace(f.begin(), f.end(), '\n', ' ');
        std::replace(f.begin(), f.end(), '\r', ' ');
        if (k + 1 < fields.size())
            std::replace(f.begin(), f.end(), '\t', ' ');
        text += '\t' + f;
    }
    return text + '\n';
}

// The count fields after "tool\t" of a line (its CR dropped), the last running to the
// line's end; none when the line is not the tool's or holds fewer.
inline std::vector<std::string> fields(std::string line, char const* tool, std::size_t count)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::string const start = std::string(tool) + '\t';
    if (line.compare(0, start.size(), start) != 0)
        return {};
    std::vector<std::string> f;
    std::size_t at = start.size();
    for (std::size_t k = 0; k + 1 < count; ++k) {
        std::size_t const tab = line.find('\t', at);
        if (tab == std::string::npos)
            return {};
        f.push_back(line.substr(at, tab - at));
        at = tab + 1;
    }
    f.push_back(line.substr(at));
    return f;
}

}  // namespace machine

#endif
