#ifndef RESTORETEXT_H
#define RESTORETEXT_H

#include "channelmodel.h"

#include <QString>

// Every text about what a restore or a write did, once, translated in "Velotune". The window
// and velotune-cli both show them; velotune-cli prints them as they are.
namespace nexil::restoretext {

QString failed(const QString &message);
QString holds(const QString &value);
QString notReadBack();
QString asAsked();
QString restored();
QString matches(const QString &controller, const QString &file, std::size_t written);
QString doesNotMatch(const QString &controller, const QString &file);
QString unreadable(const QString &controller, const QString &why);
QString stoppedAfter(std::size_t tried, std::size_t planned);
// Speed and acceleration of a channel with another sensor type; `units` follows "other units".
QString otherUnits(const QString &units = QString());
// The outcome of a write the window reports: "written" or "FAILED: ...".
QString writeOutcome(const WriteResult &result);
// The outcome of one planned write; `held` is what the controller holds, formatted.
QString stepOutcome(const RestoreStep &step, const QString &held);

} // namespace nexil::restoretext

#endif // RESTORETEXT_H
