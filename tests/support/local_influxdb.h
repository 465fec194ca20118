#pragma once

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QNetworkAccessManager>

// A real InfluxDB 1.x (Debian's influxd) on 127.0.0.1, with its HTTP and its RPC service on free ports and
// its meta, data and WAL folders and its configuration in a temporary folder. It reports nothing to anyone.
class LocalInfluxDb final
{
public:
    LocalInfluxDb();
    ~LocalInfluxDb();

    // Whether influxd is installed.
    static bool available();
    // Starts it and waits until it answers a ping.
    bool start();
    void stop();
    int port() const;
    // Runs an InfluxQL statement, through a POST so that it may change things; the answer's JSON, or
    // nothing when there was no answer.
    QByteArray query(const QString &database, const QString &statement);
    // Writes line-protocol lines with times in nanoseconds; empty when they were taken, else why not.
    QString write(const QString &database, const QByteArray &lines);
    // What it said on stdout and stderr so far.
    QByteArray log() const;

private:
    QByteArray post(const QString &path, const QList<std::pair<QString, QString>> &query,
                    const QByteArray &body, int &status);

    QTemporaryDir m_folder;
    QProcess m_process;
    QNetworkAccessManager m_network;
    int m_port = 0;
};
