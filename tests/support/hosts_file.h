#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QTemporaryFile>

// /etc/hosts as a test writes it, for this process alone while the object lives: the process moves to a
// mount namespace of its own (once) and binds the file over the system's, so that the system's resolver,
// not a stand-in, finds the names. Needs root, as CI runs the suite.
class HostsFile final
{
    Q_DISABLE_COPY_MOVE(HostsFile)

public:
    explicit HostsFile(const QByteArray &lines);
    ~HostsFile();

    // Empty once in place; else why not.
    QString failure() const;

private:
    QTemporaryFile m_file;
    QString m_failure;
};
