#ifndef VELOTUNE_H
#define VELOTUNE_H

#include "channelio.h"
#include "ui_velotune.h"

#include <QMainWindow>

#include <cstdint>

// The main window. Its bodies live beside the concern they serve:
//   app/velotune.cpp             construction, settings, shortcuts, destructor, About slot
//   controller/connection.cpp    on_pbRefresh_clicked, on_pbConnect_clicked
//   controller/readback.cpp      on_sbChannelIndex_valueChanged, fetch*, fetch
//   controller/writes.cpp        on_sbSpeed_valueChanged, on_sbAcceleration_valueChanged,
//                                on_pbLowVibration_clicked, showLowVibrationAfterRefusal,
//                                on_sbSpeed_refused, on_sbAcceleration_refused,
//                                writeSpeed, writeAcceleration, writeHeldSteps
//   controller/statusmessage.cpp statusText, showStatus
// The calls and sequences they make are shared with velotune-cli: controller/channelio.h.
class QueuedSteps;
class StatusTip;

class Velotune : public QMainWindow
{
    Q_OBJECT

public:
    explicit Velotune(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~Velotune() override;

private slots:
    void on_pbConnect_clicked(bool on);
    void on_pbRefresh_clicked();
    void on_sbChannelIndex_valueChanged(int value);
    void on_sbSpeed_valueChanged(int value);
    void on_sbAcceleration_valueChanged(int value);
    void on_pbLowVibration_clicked(bool on);
    void on_sbSpeed_refused(const QString &reason);
    void on_sbAcceleration_refused(const QString &reason);
    void on_aAbout_triggered();

private:
    // How long a one-line message stays in the status bar.
    static constexpr int messageTimeout = 2000;

    QString statusText(uint32_t status) const;
    void showStatus(const QString &message, uint32_t status);
    void fetchChannelType(uint32_t channel);
    void fetchSensorType(uint32_t channel);
    void fetchSpeed(uint32_t channel);
    void fetchAcceleration(uint32_t channel);
    void fetchLowVibration(uint32_t channel);
    void showLowVibrationAfterRefusal(uint32_t channel, bool clickedOn);
    // One of the five reads above, as the shared read sequences name them.
    void fetch(nexil::Read read, uint32_t channel);
    void writeSpeed(uint32_t channel, int value);
    void writeAcceleration(uint32_t channel, int value);
    // Writes the final value of each box whose queued steps were held, but `except`'s.
    void writeHeldSteps(const QAbstractSpinBox *except = nullptr);
    // Without a usable library nothing can be found or opened: one line says why.
    void showLibraryNotice();

    Ui::VelotuneClass ui;
    uint32_t systemIndex;
    StatusTip *statusTip;
    QueuedSteps *queuedSteps;
};

#endif // VELOTUNE_H
