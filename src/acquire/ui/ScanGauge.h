#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <functional>

class TBusyForm;

// The busy window's gauge over a scan of totalBytes: Add Disc's, Verify Disc's and Update from
// this scan's alike. A scan that reads every byte (checksums) also says under the caption how
// far it is, how fast it reads and how long it has yet to go.
class ScanGauge
{
public:
    // Starts the form with caption and an empty gauge (a running one when the total is unknown).
    ScanGauge(TBusyForm *form, const QString &caption, quint64 totalBytes, bool readsEveryByte);
    // For the scanner's gauge: the kilobytes read so far.
    std::function<void(quint64)> callback();

private:
    // The gauge runs in thousandths of the total, whatever the volume's size.
    static constexpr int Steps = 1000;

    QPointer<TBusyForm> m_form;
    QString m_caption;
    quint64 m_total;
    bool m_readsEveryByte;
    QElapsedTimer m_reading;
};
