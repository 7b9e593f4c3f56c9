// quorvane-batch: the command-line front end.
#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv)
{
    return quorvane::cli::runBatch(quorvane::cli::Args(argv + 1, argv + argc), std::cout, std::cerr);
}
