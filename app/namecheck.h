// The check every typed name passes before its image is loaded.
#ifndef TAVRIN_APP_NAMECHECK_H
#define TAVRIN_APP_NAMECHECK_H

// True when the name is a regular file that opens and one of its pieces (a line
// with its line feed, or the next 29 bytes of a longer one) begins with "P5".
// Otherwise prints why. Nothing that could block (a FIFO, a device) is opened.
bool passesNameCheck(char const* name);

#endif
