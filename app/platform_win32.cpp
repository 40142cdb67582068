// Windows: the command interpreter does the pause and makes the folder, as written.
#include "app/platform.h"

#include <cstdio>
#include <cstdlib>

char const outputFolderPrefix[] = "Redressement\\";

void pauseConsole()
{
    std::fflush(stdout);
    (void)std::system("PAUSE");
}

void makeOutputFolder()
{
    std::fflush(stdout);
    (void)std::system("md Redressement\\");
}
