#include "local_prometheus.h"
#include "metrics/metrics_endpoint.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonObject>
#include <QtCore/QTimer>
#include <QtTest/QtTest>

// A real Prometheus scrapes the endpoint, in this process, every second and has its readings.
class TstMetricsPrometheus final : public QObject
{
    Q_OBJECT

private slots:
    void prometheusHasTheTemperature();
};

void TstMetricsPrometheus::prometheusHasTheTemperature()
{
    MetricsEndpoint endpoint(QStringLiteral("1.00"));
    QString error;
    QVERIFY2(endpoint.listen(ListenAddress{}, error), qPrintable(error));
    endpoint.setBoardUp(true);
    // 21.97 degrees, ten times a second, as the board sends them.
    QTimer board;
    QObject::connect(&board, &QTimer::timeout, [&endpoint] {
        endpoint.takeReading(Reading::fromRaw(QDateTime::currentMSecsSinceEpoch(), 45),
                             QStringLiteral("ttyACM0"));
    });
    board.start(100);

    LocalPrometheus prometheus(QStringLiteral("127.0.0.1:%1").arg(endpoint.serverPort()));
    QVERIFY2(prometheus.start(), prometheus.log());
    QTRY_COMPARE_WITH_TIMEOUT(prometheus.value(QStringLiteral("vantro_temperature_celsius")),
                              QStringLiteral("21.97"), 30000);
    const std::optional<QJsonArray> samples = prometheus.query(QStringLiteral("vantro_temperature_celsius"));
    QVERIFY(samples);
    const QJsonObject labels = samples->at(0)[QStringLiteral("metric")].toObject();
    QCOMPARE(labels[QStringLiteral("port")].toString(), QStringLiteral("ttyACM0"));
    QCOMPARE(labels[QStringLiteral("job")].toString(), QStringLiteral("vantro"));
    QCOMPARE(prometheus.value(QStringLiteral("up")), QStringLiteral("1"));
    QCOMPARE(prometheus.value(QStringLiteral("vantro_board_up")), QStringLiteral("1"));
    QCOMPARE(prometheus.value(QStringLiteral("vantro_build_info{version=\"1.00\"}")), QStringLiteral("1"));
    // The counter grows between its scrapes.
    QTRY_VERIFY_WITH_TIMEOUT(
        prometheus.value(QStringLiteral("increase(vantro_readings_total[5s])")).toDouble() > 0, 15000);
}

QTEST_GUILESS_MAIN(TstMetricsPrometheus)
#include "tst_metrics_prometheus.moc"
