#pragma once

#include <QtCore/QByteArray>

class BoardLine;

// Playing the board by hand on a line that a program has opened, on any platform.
// The start frame, 0B 06 47 and three bytes more, which a program sends once the port is open.
bool startFrameArrives(BoardLine &board, int timeoutMs);
// The start frame, answered with one reply as the board answers it.
bool answerStartFrame(BoardLine &board, const QByteArray &reply, int timeoutMs);
