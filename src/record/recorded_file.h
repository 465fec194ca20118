#pragma once

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <cstddef>

// The day's CSV file as the recorder holds it: one file per platform. It is only ever opened as a regular
// file of the user's own, never through a symbolic link and never waiting, for appending; every failure comes
// with its reason in the user's words.
class RecordedFile final
{
    Q_DISABLE_COPY_MOVE(RecordedFile)

public:
    RecordedFile();
    ~RecordedFile();

    // Opens `path`, creating it when it is not there. On failure stays closed and `reason` says why.
    bool open(const QString &path, QString &reason);
    bool isOpen() const;
    // Without a sync: the recorder syncs first.
    void close();

    // Why a line written now would be lost (the file was deleted or made read-only); empty when it would not.
    QString unwritable() const;
    // In bytes; -1 and the reason when it cannot be had.
    qint64 size(QString &reason) const;
    // The byte at `offset`, or a line break when it cannot be read.
    char byteAt(qint64 offset) const;
    // On failure `reason` says why, and on Linux none of `data` stays: a line the disk took only in part is
    // cut off again.
    bool append(const char *data, size_t size, QString &reason);
    // To the disk; a full disk may only show here.
    bool sync(QString &reason);

private:
    // A file descriptor, or a Windows handle; -1 when closed on both.
    qintptr m_handle = -1;
};
