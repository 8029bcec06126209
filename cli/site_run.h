// Runs of snellitore-cli that write into a folder: a whole site (-r), or several files into one folder.
#pragma once

#include <cli/cli_options.h>

#include <iosfwd>

// Runs a command line for which writesIntoFolder() holds. Each file is compacted as a single-file run with
// the same options would, by several workers at once; its messages and summary come out in the order of the
// walk (sorted by path for -r, the order given otherwise), whatever the order they finish in. Answers the exit
// code; an interrupt ends the process by its signal once the files being written are removed.
int runIntoFolder(const CliOptions& options, std::ostream& err);
