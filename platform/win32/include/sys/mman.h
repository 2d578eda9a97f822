#pragma once
// The memory advice the network code gives on POSIX systems. Windows commits
// a fresh page on its first touch and takes no such advice: a no-op here.
#include <cstddef>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

inline int madvise(void*, std::size_t, int) { return 0; }
