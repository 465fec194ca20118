#pragma once

#include <vector>

// Figures that every benchmark takes of its own process.
long residentKb();
// User and system time so far, in seconds.
double cpuSeconds();
// Runs the event loop for `ms` milliseconds.
void runFor(int ms);
// One line: "<what> samples=N median_ms=... worst_ms=..."
void printFigures(const char *what, std::vector<double> samples);
