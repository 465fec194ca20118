#include "reading_output.h"

ReadingOutput::~ReadingOutput() = default;

void ReadingOutput::setBoardUp(bool) {}

void ReadingOutput::replyRejected() {}

void ReadingOutput::stationChanged() {}
