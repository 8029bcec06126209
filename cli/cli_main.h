// The whole of snellitore-cli below its main: the command line read, then a single-file or a folder run.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Parses the arguments after the program name and does what they ask. Help and version go to out.
int cliMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
