// The build-time test switch: fixed file names, preset points, extra report
// lines and one further image. False in the delivered program.
#ifndef TAVRIN_APP_DEBUGMODE_H
#define TAVRIN_APP_DEBUGMODE_H

extern bool debugmode;

#endif
