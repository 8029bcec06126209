// Makes a FIFO for tests.
#include "fifo.h"

#include <sys/stat.h>

bool makeFifo(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0644) == 0;
}
