#pragma once

#include <QtCore/QString>

struct Reading;

// Somewhere a board's readings go: the recording, the broker, the metrics endpoint, stdout. The station
// hands each reading to every output once, calibrated, in the order the board sent them, and tells them
// when the board link comes up or goes down.
class ReadingOutput
{
public:
    virtual ~ReadingOutput();

    // `port` is the port the reading came from, as the user named it.
    virtual void takeReading(const Reading &reading, const QString &port) = 0;
    // The board link: the port is open and replies are arriving. Outputs that do not show it ignore it.
    virtual void setBoardUp(bool up);
    // A reply that arrived but could not be read as one.
    virtual void replyRejected();
    // Something else a page of the station shows changed: the port opened or closed, the board link, the
    // broker, the calibration.
    virtual void stationChanged();
};
