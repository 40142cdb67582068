// The console run: the banner, the base image, then further images one by one
// until a name fails its check. Returns the exit status: 1 on every end but the
// test switch's, which returns 0 after one further image.
#ifndef TAVRIN_APP_RUN_H
#define TAVRIN_APP_RUN_H

int runSeries();

#endif
