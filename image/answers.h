// The answers that tavrin reads at its prompts, one to a line: the base photograph's
// name, A and B, then each further photograph's name, A' and B', and last a name that
// opens nothing, which ends the series. tavrin reads them by these rules, tavrin-match
// and tavrin-series write them by them (tavrin-series reads its own back), and the page
// writes them the same way (view/answers.js).
#ifndef TAVRIN_IMAGE_ANSWERS_H
#define TAVRIN_IMAGE_ANSWERS_H

#include <cstddef>
#include <string>

namespace answers {

// The longest name tavrin takes at a prompt, in bytes.
constexpr std::size_t kLongestName = 233;

// A name on its line, as tavrin reads it back: in double quotes when it holds white
// space (as a dropped path is typed) or begins with a byte-order mark (which tavrin
// skips at the start of its input). Empty when tavrin cannot read it back at all: empty,
// too long, or holding a double quote.
inline std::string written(std::string const& name)
{
    if (name.empty() || name.size() > kLongestName || name.find('"') != std::string::npos)
        return {};
    bool const marked = name.rfind("\xEF\xBB\xBF", 0) == 0 || name.rfind("\xFF\xFE", 0) == 0 ||
                        name.rfind("\xFE\xFF", 0) == 0;
    if (marked || name.find_first_of(" \t\n\v\f\r") != std::string::npos)
        return '"' + name + '"';
    return name;
}

// The name on a line, as tavrin reads it: in double quotes up to the next one, else
// the first word.
inline std::string read(std::string const& line)
{
    if (!line.empty() && line[0] == '"') {
        std::size_t const end = line.find('"', 1);
        return line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    std::size_t const start = line.find_first_not_of(" \t");
    if (start == std::string::npos)
        return {};
    return line.substr(start, line.find_first_of(" \t", start) - start);
}

// The name that ends the series: "fin", or "fin-2", "fin-3"... while taken(name) says
// that a file answers to it, so that tavrin's next open fails.
template <class Taken> std::string closingName(Taken taken)
{
    std::string name = "fin";
    for (int k = 2; taken(name); ++k)
        name = "fin-" + std::to_string(k);
    return name;
}

}  // namespace answers

#endif
