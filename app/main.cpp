#include "app/run.h"

// The command line is not read.
int main()
{
    return runSeries();
}
