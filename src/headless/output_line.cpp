#include "output_line.h"

#include "headless/line_output.h"
#include "record/write_whole.h"

namespace {
LineOutput *routes[StandardError + 1] = {};
} // namespace

bool writeLine(OutputStream stream, const QByteArray &line)
{
    if (LineOutput *output = routes[stream])
        return output->write(line);
    int error = 0;
    return writeWhole(int(stream), line.constData(), size_t(line.size()), error) == size_t(line.size());
}

LineRoute::LineRoute(OutputStream stream, LineOutput &output) : m_stream(stream)
{
    routes[stream] = &output;
}

LineRoute::~LineRoute()
{
    routes[m_stream] = nullptr;
}
