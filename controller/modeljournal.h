#ifndef MODELJOURNAL_H
#define MODELJOURNAL_H

#include "channelmodel.h"
#include "journalevent.h"
#include "snapshot.h"

#include <QString>

#include <cstdint>
#include <vector>

// The journal lines of the channel model's actions (README, "The journal"): the model records
// them itself, so the window, velotune-cli and any other front end journal the same way.
namespace nexil::journal {

Event connectEvent(const QString &locator);
Event releaseEvent(const QString &locator);
Event writeEvent(const QString &locator, const WriteResult &result);
Event restoreStartEvent(const QString &locator, const QString &file, Source source,
                        std::size_t writes);
Event restoreEndEvent(const QString &locator, const QString &file, Source source,
                      const RestoreResult &result);
// A restore refused before its first write: the file does not fit the controller.
Event refusedRestoreEvent(const QString &locator, const QString &file, Source source,
                          const QString &reason);

// Compares two sets of channels, `left` -> `right` as diff names them, and journals the
// comparison with its count of differences; `locator` is the controller's, `file` the settings
// file's, either empty when there is none.
std::vector<snapshot::Difference> compare(const QString &left,
                                          const std::vector<ChannelSettings> &leftChannels,
                                          const QString &right,
                                          const std::vector<ChannelSettings> &rightChannels,
                                          const QString &locator, const QString &file);

} // namespace nexil::journal

#endif // MODELJOURNAL_H
