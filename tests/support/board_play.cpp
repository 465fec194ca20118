#include "board_play.h"

#include "board_line.h"

namespace {
constexpr int StartFrameBytes = 6;
} // namespace

bool startFrameArrives(BoardLine &board, int timeoutMs)
{
    const QByteArray frame = board.read(StartFrameBytes, timeoutMs);
    return frame.size() == StartFrameBytes && frame.startsWith(QByteArray::fromHex("0B0647"));
}

bool answerStartFrame(BoardLine &board, const QByteArray &reply, int timeoutMs)
{
    if (!startFrameArrives(board, timeoutMs))
        return false;
    board.write(reply);
    return true;
}
