// The check every typed name passes before its image is loaded.
#ifndef TAVRIN_APP_NAMECHECK_H
#define TAVRIN_APP_NAMECHECK_H

// True when the file opens and one of its pieces (a line with its line feed, or
// the next 29 bytes of a longer one) begins with "P5". Otherwise prints why.
bool passesNameCheck(char const* name);

#endif
