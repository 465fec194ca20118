#include "output_line.h"

#include "record/write_whole.h"

bool writeLine(OutputStream stream, const QByteArray &line)
{
    int error = 0;
    return writeWhole(int(stream), line.constData(), size_t(line.size()), error);
}
