// snellitore-cli: compacts one web page from the command line; the work is done in cli_core.
#include <cli/cli_run.h>

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return cliMain(arguments, std::cout, std::cerr);
}
