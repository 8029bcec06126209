// Makes a FIFO for tests; apart, since <sys/stat.h> cannot share a file with the statistics window `stat`.
#pragma once

#include <string>

// True when a FIFO now exists at path.
bool makeFifo(const std::string& path);
