// Compiled with one layer's include path: it must find the header only when that layer may use it.
#include PROBE_HEADER
