#ifndef CHANNELMODEL_H
#define CHANNELMODEL_H

#include "session.h"
#include "setting.h"
#include "snapshot.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace nexil {

// Who asked for a write, for the views and anything that records the writes.
enum class Source { Form, Overview, Restore, CliSet, CliRestore, Python };
QString sourceName(Source source);

enum class Outcome {
    Taken,
    Refused,
    // Taken, but a read that should have followed failed: what the controller holds is not known.
    NotReadBack,
};

struct WriteResult
{
    uint32_t channel = 0;
    Setting setting = Setting::Speed;
    Source source = Source::Form;
    // What the controller was last known to hold; nothing when it was never read or the last
    // read failed.
    std::optional<uint32_t> before;
    uint32_t value = 0;
    std::optional<uint32_t> sensorType;
    Outcome outcome = Outcome::Taken;
    // Refused: the write's failure; not read back: the read's.
    Failure failure;
    // A refusal's message, translated; the library is asked for its text once.
    QString message;
    // After a refusal, when asked for: the read of what the controller holds.
    std::optional<Reading> held;
};

// What a restore will do, worked out once before anything is written.
struct RestorePlan
{
    QString path;
    Snapshot file;
    std::vector<uint32_t> channels;
    // The channels as read, in the order of `channels`.
    std::vector<ChannelSettings> before;
    std::vector<snapshot::Step> steps;
    // Why the file does not fit the controller.
    QString refusal;
    // The channels could not be read.
    Failure readFailure;
    uint32_t failedChannel = 0;
    // The reading was cancelled: nothing is planned.
    bool cancelled = false;
    bool writable() const { return refusal.isEmpty() && !readFailure && !cancelled; }
    // Only the steps `keep` accepts stay planned.
    void keepSteps(const std::function<bool(const snapshot::Step &)> &keep);
    const ChannelSettings &beforeOf(uint32_t channel) const;
};

// What became of one planned write.
enum class StepOutcome { NotTried, AsAsked, Refused, NotReadBack, Differs };

struct RestoreStep
{
    snapshot::Step step;
    uint32_t from = 0;
    uint32_t to = 0;
    StepOutcome outcome = StepOutcome::NotTried;
    // Refused: the failure's message.
    QString message;
};

struct RestoreResult
{
    std::vector<RestoreStep> steps;
    // The channels read after the writes; empty when the read failed or was not made.
    std::vector<ChannelSettings> after;
    Failure readFailure;
    uint32_t failedChannel = 0;
    QString readMessage;
    bool cancelled = false;
    std::size_t written() const;
    bool matches() const;
};

// The controller behind one object: the window, velotune-cli and the tests see it through this.
// It owns the session and what was last read of each channel, makes each write with its reads,
// and tells of each read, write and connection change by a signal. Every call is synchronous
// and needs no event loop.
class ChannelModel : public QObject
{
    Q_OBJECT

public:
    using Progress = std::function<void(std::size_t done, std::size_t total, const QString &text)>;
    using Cancel = std::function<bool()>;
    // The reads that follow a write of `channel`, or none.
    using ReadBackFor = std::function<Session::ReadBack(uint32_t channel)>;

    // One bound for every front end: a controller claiming more channels is released at once,
    // before any channel is read. The overview shows as many rows, and a snapshot of so many
    // channels stays under snapshot::maxFileSize.
    static constexpr uint32_t maxChannels = 1024;

    explicit ChannelModel(Session::Checkpoint checkpoint = nullptr,
                          bool releaseWhenDestroyed = false, QObject *parent = nullptr);
    ~ChannelModel() override;

    const Session &session() const { return m_session; }
    bool isOpen() const { return m_session.isOpen(); }
    const QString &locator() const { return m_session.locator(); }
    uint32_t channelCount() const { return m_session.channelCount(); }

    Failure open(const QString &locator, const Session::Report &report = nullptr);
    void abandon();
    Failure close();

    Reading read(Read what, uint32_t channel);
    Failure readChannel(uint32_t channel, ChannelSettings *out);
    // Stops at the first channel that cannot be read; *failedChannel names it. `cancel` is
    // asked before each channel; a cancelled read returns no failure and fewer channels.
    Failure readChannels(const std::vector<uint32_t> &channels, std::vector<ChannelSettings> *out,
                         uint32_t *failedChannel, const Progress &progress = nullptr,
                         const Cancel &cancel = nullptr);

    // The write with the reads that follow it (readsAfterWrite()); after a refusal, with
    // `readHeld`, the setting itself is read, once written() has been told.
    WriteResult write(uint32_t channel, Setting setting, uint32_t value, Source source,
                      const Session::ReadBack &readBack = nullptr, bool readHeld = false);

    // What the last reads and writes found.
    std::optional<uint32_t> known(uint32_t channel, Setting setting) const;
    std::optional<uint32_t> sensorType(uint32_t channel) const;
    ChannelSettings last(uint32_t channel) const;
    // Settings a read elsewhere found, as if this model had read them.
    void noteChannel(const ChannelSettings &settings);

    // `failure`'s message, translated; asks the library for the status text.
    QString message(const Failure &failure) const;

    // Checks `file` against the controller and reads `channels` (all when empty).
    RestorePlan planRestore(const QString &path, const Snapshot &file,
                            std::vector<uint32_t> channels = {}, const Progress &progress = nullptr,
                            const Cancel &cancel = nullptr);
    // Writes the plan, a refused write not ending it, then reads the channels back. `cancel` is
    // asked before each write and each read-back; `result` says what was written however the
    // restore ends.
    void restore(const RestorePlan &plan, Source source, RestoreResult *result,
                 const ReadBackFor &readBack = nullptr, const Progress &progress = nullptr,
                 const Cancel &cancel = nullptr);
    // A restore of `path` refused before its first write, for the journal.
    void noteRefusedRestore(const QString &path, const QString &reason, Source source) const;

signals:
    void channelRead(const nexil::ChannelSettings &settings);
    void written(const nexil::WriteResult &result);
    void connectionChanged(bool open);
    void restoreStarted(const QString &path, std::size_t writes);
    void restoreFinished(const QString &path, const nexil::RestoreResult &result);

private:
    void note(uint32_t channel, Read read, const Reading &reading);
    void forget();

    Session m_session;
    std::map<uint32_t, ChannelSettings> m_last;
    std::set<std::pair<uint32_t, Read>> m_known;
};

} // namespace nexil

Q_DECLARE_METATYPE(nexil::WriteResult)
Q_DECLARE_METATYPE(nexil::ChannelSettings)

#endif // CHANNELMODEL_H
