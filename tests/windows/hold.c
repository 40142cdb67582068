/* hold FILE...: opens each file as a viewer may, sharing it with no one, and keeps it
   open until the file "release" appears in the working folder (at most 60 s). Writes
   "held" to stdout once every file is open. For the Windows sessions, under Wine. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k)
        if (CreateFileA(argv[k], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) == INVALID_HANDLE_VALUE)
            return 1;
    puts("held");
    fflush(stdout);
    for (int waited = 0; waited < 6000 && GetFileAttributesA("release") == INVALID_FILE_ATTRIBUTES; ++waited)
        Sleep(10);
    return 0;
}
