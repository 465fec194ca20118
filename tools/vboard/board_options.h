#pragma once

#include <QtCore/QString>
#include <QtCore/QStringList>

// How the virtual board behaves, from its command line.
struct BoardOptions
{
    QString linkPath;      // a stable symlink to the port, if wanted
    int intervalMs = 1000; // between two temperature replies
    int startRaw = 45;     // about 22 degrees
    bool silent = false;   // never answers
    bool split = false;    // each reply in two writes far enough apart to land in two reads
    bool garbage = false;  // random bytes between the replies
    bool highByte = false; // replies with a high byte of 0x80 or more
    bool flood = false;    // random bytes at the line's full 1920 bytes/s instead of replies

    // Fills the options from the arguments; on a usage error returns false with the message in `error`.
    static bool parse(const QStringList &arguments, BoardOptions &options, QString &error);
};
