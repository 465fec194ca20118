#pragma once

// The window is a program of its own, so that a headless run never loads the window system's libraries.
// Starts it with this program's arguments; returns the status to end with when it cannot be started, or,
// where it runs beside this program rather than in its place, once it has started.
int startWindow(char *argv[]);
