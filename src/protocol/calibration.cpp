#include "calibration.h"

#include "protocol/reading.h"

Reading calibrated(const Reading &raw, int32_t offsetHundredths)
{
    Reading reading = raw;
    reading.hundredths += offsetHundredths;
    return reading;
}
