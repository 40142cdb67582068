// What the run needs of its platform: the pause before a failure exit, the
// creation of the output folder and the prefix of every output path.
#ifndef TAVRIN_APP_PLATFORM_H
#define TAVRIN_APP_PLATFORM_H

// "Redressement" and the platform's path separator.
extern char const outputFolderPrefix[];

// Waits for one key press after a request to press one.
void pauseConsole();

// Creates the folder "Redressement" in the working directory. Its result is
// never examined: a later write into the folder reports its own failure.
void makeOutputFolder();

#endif
