// The folder, in the working directory, that the results go into: tavrin writes there,
// tavrin-series gathers what it wrote from there, and their messages name it. A macro,
// so that a message joins it to its own words as one literal.
#ifndef TAVRIN_IMAGE_RESULTS_FOLDER_H
#define TAVRIN_IMAGE_RESULTS_FOLDER_H

#define TAVRIN_RESULTS_FOLDER "Redressement"

#endif
