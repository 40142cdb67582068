#include "tools/common/tool.h"

#include <cstdio>

namespace tool {

int refused(Text const& text, std::string const& message, UsageError const* usage)
{
    std::fflush(stdout);
    std::string said = text.name;
    said += " : ";
    said += message;
    said += "\n";
    if (usage != nullptr && usage->brief)
        said.append("Voyez ").append(text.name).append(" --help.\n");
    else if (usage != nullptr)
        said += text.usage;
    tell(stderr, said);
    return usage != nullptr ? 2 : 1;
}

int ended(int status)
{
    std::fflush(stdout);
    holdOwnWindow();
    return status;
}

}  // namespace tool
