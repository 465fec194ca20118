#pragma once

#include <cstddef>

// Writes all of `size` bytes to a file descriptor, going on where a call was interrupted or took only part.
// Returns how many bytes went: all of them, or on failure those that went before it, with the reason in
// `error` (an errno value; ENOSPC when nothing more would go).
size_t writeWhole(int fd, const char *data, size_t size, int &error);
