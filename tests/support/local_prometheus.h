#pragma once

#include <QtCore/QJsonArray>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QNetworkAccessManager>

#include <optional>

// A real Prometheus from Debian on 127.0.0.1 and a free port, with its storage and configuration in a
// temporary folder of its own, scraping one target's /metrics every second. Its waits run the event loop,
// so the target may be in the test's own process.
class LocalPrometheus final
{
public:
    // `target`: host:port of the metrics to scrape, such as 127.0.0.1:9101.
    explicit LocalPrometheus(const QString &target);
    ~LocalPrometheus();

    // Starts it and waits until it says it is ready.
    bool start(int timeoutMs = 30000);
    void stop();
    int port() const;
    // An instant query through its HTTP API: the samples of the resulting vector, each an object with
    // "metric" (the labels) and "value" ([time, "value"]); nothing when the query could not be made.
    std::optional<QJsonArray> query(const QString &expression, int timeoutMs = 5000);
    // The value of the only sample `expression` gives now, as Prometheus writes it; empty for no sample.
    QString value(const QString &expression);
    // What it has logged so far.
    QByteArray log() const;

private:
    // The body and HTTP status of GET `path` on its web port; status 0 when there was no answer.
    std::pair<int, QByteArray> get(const QString &path, int timeoutMs);

    QTemporaryDir m_folder;
    QProcess m_process;
    QNetworkAccessManager m_network;
    int m_port = 0;
};
