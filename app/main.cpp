// snellitore: the desktop program's entry; start-up and shutdown live in startup.cpp.
#include <app/startup.h>

int main(int argc, char** argv)
{
    return runProgram(argc, argv);
}
