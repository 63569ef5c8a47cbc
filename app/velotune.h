#ifndef VELOTUNE_H
#define VELOTUNE_H

#include "session.h"
#include "ui_velotune.h"

#include <QMainWindow>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

// The main window. Its bodies live beside the concern they serve:
//   velotune.cpp               construction, settings, shortcuts, destructor, About slot
//   velotune_connection.cpp    on_pbRefresh_clicked, on_pbConnect_clicked, enableSettingsFiles
//   velotune_readback.cpp      on_sbChannelIndex_valueChanged, fetch, show*,
//                              showChannelSettings
//   velotune_writes.cpp        on_sbSpeed_valueChanged, on_sbAcceleration_valueChanged,
//                              on_pbLowVibration_clicked, showLowVibrationAfterRefusal,
//                              on_sbSpeed_refused, on_sbAcceleration_refused,
//                              stepped, writeBox, writeHeldSteps, send
//   velotune_statusmessage.cpp statusText, showStatus
//   velotune_overview.cpp      on_aChannels_triggered, readOverview, readOverviewRow,
//                              writeFromOverview, rereadOverviewRow, followConnection
//   velotune_settingsfiles.cpp on_aSaveSettings_triggered, on_aCompareSettings_triggered,
//                              on_aRestoreSettings_triggered, askSnapshotFile,
//                              askAndReadSnapshot, warnAboutFile,
//                              readEveryChannel, restorePlanned
//   velotune_history.cpp       on_aHistory_triggered, showMessage, failureMessage, noteSent,
//                              noteRead, noteChannelSettings,
//                              noteSensorType, heldBefore, forgetChannels
// The calls, sequences and messages are velotune-cli's too: controller/session.h.
class ChannelOverview;
class History;
class HistoryLog;
class QueuedSteps;
class SettingsDiffDialog;
class StatusTip;
struct ChannelRow;

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
    void on_aChannels_triggered();
    void on_aSaveSettings_triggered();
    void on_aCompareSettings_triggered();
    void on_aRestoreSettings_triggered();
    void on_aHistory_triggered();

private:
    // How long a one-line message stays in the status bar.
    static constexpr int messageTimeout = 2000;

    // The library's text for `status`: the one way the window asks for it.
    QString statusText(uint32_t status) const;
    // `failure`'s message, translated, in the status bar.
    void showStatus(const nexil::Failure &failure);
    // Every line the status bar shows goes through here, so the history has it too. A timeout
    // of 0 keeps it until replaced; `details` become its tooltip.
    void showMessage(const QString &message, int timeout, const QString &details = QString());
    // `failure`'s message, translated; the library is asked for its text once per failure.
    QString failureMessage(const nexil::Failure &failure);
    void showChannelType(const nexil::Reading &type);
    void showSensorType(const nexil::Reading &type);
    void showSpeed(const nexil::Reading &speed);
    void showAcceleration(const nexil::Reading &acceleration);
    void showLowVibration(const nexil::Reading &lowVibration);
    void showLowVibrationAfterRefusal(uint32_t channel, bool clickedOn);
    // One read of the channel, shown by the one of the five above that serves it.
    void fetch(nexil::Read read, uint32_t channel);
    void showRead(nexil::Read read, const nexil::Reading &reading);
    nexil::Session::ReadBack shownReads();
    // A step of the speed or acceleration box: held on a slow link, else written.
    void stepped(SepSpinBox *box, int value);
    // Writes the box's setting; the box shows what the controller took or holds.
    void writeBox(SepSpinBox *box, uint32_t channel, int value);
    // Writes the final value of each box whose queued steps were held, but `except`'s.
    void writeHeldSteps(const QAbstractSpinBox *except = nullptr);
    // Without a usable library nothing can be found or opened: one line says why.
    void showLibraryNotice();
    // Every write the window sends, from the form, the overview or a restore: the write with
    // its read-backs, then noteSent(). `before` is what the controller was last known to hold.
    nexil::Failure send(uint32_t channel, nexil::Setting setting, uint32_t value,
                        std::optional<uint32_t> before, const nexil::Session::ReadBack &readBack);
    // Told of each write send() made, once its read-backs are done.
    void noteSent(uint32_t channel, nexil::Setting setting, uint32_t value,
                  std::optional<uint32_t> before, const nexil::Failure &failure);
    // What the window last read of a channel: the sensor type gives the history its units, the
    // values are the `before` of the form's writes.
    void noteRead(uint32_t channel, nexil::Read read, const nexil::Reading &reading);
    // What a read of the overview, a restore or a snapshot found, for the history's old values
    // and units.
    void noteChannelSettings(const nexil::ChannelSettings &settings);
    void noteSensorType(uint32_t channel, uint32_t sensorType);
    std::optional<uint32_t> heldBefore(uint32_t channel, nexil::Setting setting) const;
    // Another controller, or the same one after a release: nothing read before holds.
    void forgetChannels();
    void enableSettingsFiles(bool connected);
    // Settings read by a call of the overview or a restore, shown without another call when
    // they are the form's channel's.
    void showChannelSettings(const nexil::ChannelSettings &settings);

    // Every row of the overview read again, or emptied without a connection.
    void readOverview();
    ChannelRow readOverviewRow(uint32_t channel);
    // An edit the user made in the overview.
    void writeFromOverview(uint32_t channel, nexil::Setting setting, uint32_t value,
                           uint32_t before);
    // The written channel's row, read again while the overview is shown.
    void rereadOverviewRow(uint32_t channel);
    // After a connect, a failed one or a release: the overview follows the connection.
    void followConnection();
    // The snapshot file the user picks; empty when the choice was cancelled.
    QString askSnapshotFile(bool forSaving);
    // A settings file the user picks, read and checked; a refused one is explained, followed
    // by `consequence`.
    bool askAndReadSnapshot(QString *path, nexil::Snapshot *file, const QString &consequence);
    void warnAboutFile(const QString &text);
    // Every channel of the controller; on failure the user is told, prefixed by `consequence`.
    bool readEveryChannel(std::vector<nexil::ChannelSettings> *channels,
                          const QString &consequence);
    // The writes a restore planned, made once the user confirmed them, then read back.
    void restorePlanned(const nexil::Snapshot &file, const QString &path,
                        const std::vector<nexil::ChannelSettings> &before);
    SettingsDiffDialog *settingsDiffDialog();

    Ui::VelotuneClass ui;
    nexil::Session session;
    StatusTip *statusTip;
    QueuedSteps *queuedSteps;
    // Built on first use.
    ChannelOverview *overview = nullptr;
    // Set while an overview edit is sent, which reads its row itself.
    bool writingFromOverview = false;
    SettingsDiffDialog *settingsDiff = nullptr;
    HistoryLog *historyLog;
    History *historyWindow = nullptr;
    std::map<uint32_t, uint32_t> sensorTypes;
    std::map<std::pair<uint32_t, nexil::Setting>, uint32_t> heldValues;
    // The message noteSent() made of a refused write, for the status bar's showStatus().
    nexil::Failure notedFailure;
    QString notedMessage;
};

#endif // VELOTUNE_H
