#pragma once

#include <cstddef>

// Writes all of `size` bytes to a file descriptor, going on where a call was interrupted or took only part.
// On failure returns false with the reason in `error` (an errno value; ENOSPC when nothing more would go).
bool writeWhole(int fd, const char *data, size_t size, int &error);
