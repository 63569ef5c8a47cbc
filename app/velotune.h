#ifndef VELOTUNE_H
#define VELOTUNE_H

#include "channelmodel.h"
#include "ui_velotune.h"

#include <QMainWindow>

#include <cstdint>
#include <map>
#include <utility>

// The main window. Its bodies live beside the concern they serve:
//   velotune.cpp               construction, settings, shortcuts, destructor, About slot
//   velotune_connection.cpp    on_pbRefresh_clicked, on_pbConnect_clicked,
//                              on_sbChannelIndex_valueChanged, enableSettingsFiles,
//                              endBySignal
//   velotune_readback.cpp      fetch, show*, showChannelSettings (calls nothing of the others)
//   velotune_writes.cpp        on_sbSpeed_valueChanged, on_sbAcceleration_valueChanged,
//                              on_pbLowVibration_clicked, showLowVibrationAfterRefusal,
//                              on_sbSpeed_refused, on_sbAcceleration_refused,
//                              stepped, writeBox, writeHeldSteps
//   velotune_statusmessage.cpp showStatus
//   velotune_overview.cpp      on_aChannels_triggered, readOverview,
//                              writeFromOverview, rereadOverviewRow, titleOverview,
//                              followConnection
//   velotune_settingsfiles.cpp on_aSaveSettings_triggered, on_aCompareSettings_triggered,
//                              on_aRestoreSettings_triggered, askSnapshotFile,
//                              askAndReadSnapshot, warnAboutFile,
//                              readEveryChannel, restorePlanned
//   velotune_comparecontroller.cpp on_aCompareController_triggered, readOtherController
//   velotune_history.cpp       on_aHistory_triggered, showMessage, failureMessage, noteWritten,
//                              followJournal
// The controller, what was read of it and every write are the channel model's
// (controller/channelmodel.h), which velotune-cli uses too; the window shows it.
class ChannelOverview;
class History;
class HistoryLog;
class LongAction;
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

    // A signal asked the program to end: a running action stops at its next cancel check, an
    // open controller is released as Disconnect releases it, and the event loop ends with
    // 128 + `signal`.
    void endBySignal(int signal);

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
    void on_aCompareController_triggered();
    void on_aRestoreSettings_triggered();
    void on_aHistory_triggered();

private:
    // How long a one-line message stays in the status bar.
    static constexpr int messageTimeout = 2000;

    // `failure`'s message, translated, in the status bar.
    void showStatus(const nexil::Failure &failure);
    // Every line the status bar shows goes through here, so the history has it too. A timeout
    // of 0 keeps it until replaced; `details` become its tooltip.
    void showMessage(const QString &message, int timeout, const QString &details = QString());
    // `failure`'s message, translated; the library is asked for its text.
    QString failureMessage(const nexil::Failure &failure);
    void showChannelType(const nexil::Reading &type);
    void showSensorType(const nexil::Reading &type);
    void showSpeed(const nexil::Reading &speed);
    void showAcceleration(const nexil::Reading &acceleration);
    void showLowVibration(const nexil::Reading &lowVibration);
    void showLowVibrationAfterRefusal(const nexil::Reading &held, bool clickedOn);
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
    // Each write the model made, from the form, the overview or a restore: the history has it,
    // and the overview shows what the controller holds now.
    void noteWritten(const nexil::WriteResult &result);
    void followJournal();
    void enableSettingsFiles(bool connected);
    // Settings read by the overview or a restore, shown without another call when they are the
    // form's channel's.
    void showChannelSettings(const nexil::ChannelSettings &settings);

    // Every row of the overview read again, or emptied without a connection.
    void readOverview();
    // An edit the user made in the overview.
    void writeFromOverview(uint32_t channel, nexil::Setting setting, uint32_t value);
    // The written channel's row, read again while the overview is shown.
    void rereadOverviewRow(uint32_t channel);
    // "Channels of" the connected controller.
    void titleOverview();
    // After a connect, a failed one or a release: the overview follows the connection.
    void followConnection();
    // The snapshot file the user picks; empty when the choice was cancelled.
    QString askSnapshotFile(bool forSaving);
    // A settings file the user picks, read and checked; a refused one is explained, followed
    // by `consequence`.
    bool askAndReadSnapshot(QString *path, nexil::Snapshot *file, const QString &consequence);
    void warnAboutFile(const QString &text);
    // Every channel of the controller; on failure the user is told, prefixed by `consequence`.
    // A cancelled read tells nothing and returns false.
    bool readEveryChannel(std::vector<nexil::ChannelSettings> *channels, const QString &consequence,
                          LongAction *action);
    // The writes a restore planned, made once the user confirmed them, then read back.
    void restorePlanned(const nexil::RestorePlan &plan);
    SettingsDiffDialog *settingsDiffDialog();
    // Every channel of another controller, opened for reading only and released again; on
    // failure the user is told why.
    bool readOtherController(const QString &locator, std::vector<nexil::ChannelSettings> *channels,
                             LongAction *action);
    // The File and View entries' shortcuts work from `window` too.
    void shareShortcuts(QWidget *window);

    Ui::VelotuneClass ui;
    nexil::ChannelModel *model;
    StatusTip *statusTip;
    QueuedSteps *queuedSteps;
    // Built on first use.
    ChannelOverview *overview = nullptr;
    SettingsDiffDialog *settingsDiff = nullptr;
    HistoryLog *historyLog;
    // The controller and channel the positioner refusal was last logged for.
    QString refusalLoggedFor;
    History *historyWindow = nullptr;
    // The form's fields of each setting with a field of its own.
    std::map<const QAbstractSpinBox *, std::pair<SepSpinBox *, nexil::Setting>> fields;
};

#endif // VELOTUNE_H
