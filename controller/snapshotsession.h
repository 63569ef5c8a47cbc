#ifndef SNAPSHOTSESSION_H
#define SNAPSHOTSESSION_H

#include "session.h"
#include "snapshot.h"

#include <QString>

#include <cstdint>
#include <vector>

// Snapshots against an open controller, the same for the window and velotune-cli: reading the
// channels a snapshot holds, and the checks a file must pass before a restore writes anything.
namespace nexil::snapshot {

// Reads `channels` in order; on failure *failedChannel names the channel that could not be read
// and `out` holds the channels read before it.
Failure readChannels(const Session &session, const std::vector<uint32_t> &channels,
                     std::vector<ChannelSettings> *out, uint32_t *failedChannel);
// Every channel of the session, 0 to channelCount() - 1.
std::vector<uint32_t> everyChannel(const Session &session);
// A snapshot of `locator` stamped now by this program, without channels yet.
Snapshot stamped(const QString &locator);

// Why `file` cannot be restored onto a controller of `channelCount` channels, or empty when it
// can as far as the count goes. `where` names both sides ("FILE and LOCATOR").
QString countRefusal(const Snapshot &file, uint32_t channelCount, const QString &where);
// Why `file` cannot be restored onto the channels read into `now`, or empty when it can.
QString channelRefusal(const Snapshot &file, const std::vector<ChannelSettings> &now,
                       const QString &where);

} // namespace nexil::snapshot

#endif // SNAPSHOTSESSION_H
