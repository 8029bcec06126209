// The program's command line: splitting a Windows command line, counting arguments, ".big" naming, exiting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a whole Windows command line (program name first) into its items, program name included; start-up
// takes the arguments this way on Windows, where the command line is one string.
// Characters 1 to 32 separate items; a double quote opens a stretch, to the next double quote or the end,
// in which blanks belong to the item; the quotes are dropped. Where an item would begin, blanks and pairs
// of adjacent double quotes are skipped. Splitting stops at the first empty item.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// The arguments that count: the non-empty ones before the first empty one, program name left out.
std::vector<std::string> countedArguments(const std::vector<std::string>& argumentsAfterProgram);

// The source path with its file name cut at the name's first "." and ".big" added: index.min.js gives
// index.big, ./my.site/page.htm gives ./my.site/page.big. Leading dots belong to the name, and a name without
// another "." keeps all of it: .htaccess gives .htaccess.big, docs/README gives docs/README.big.
std::string bigDestinationPath(const std::string& sourcePath);

// The counted arguments of this run, taken by main() before the toolkit sees the command line.
void setProgramArguments(std::vector<std::string> arguments);
const std::vector<std::string>& programArguments();

// Ends the process. Replaceable, so that a test can see "ended with 0" and keep running.
using ExitFunction = void (*)(int code);
void endProcess(int code);
ExitFunction setExitFunction(ExitFunction function);
