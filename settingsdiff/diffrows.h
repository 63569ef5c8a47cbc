#ifndef DIFFROWS_H
#define DIFFROWS_H

#include "channelmodel.h"
#include "settingsdiffdialog.h"
#include "snapshot.h"

#include <vector>

// The rows the difference dialog shows, made from what the channel model compared, planned or
// restored: values with the units of each side's sensor type, fields named as the form names
// them.
namespace diffrows {

using Row = SettingsDiffDialog::Row;

std::vector<Row> differences(const std::vector<nexil::snapshot::Difference> &differences);
std::vector<Row> plan(const nexil::RestorePlan &plan);
// One row per planned write with the value read back after the restore and the outcome; failed
// unless read back as asked.
std::vector<Row> outcome(const nexil::RestorePlan &plan, const nexil::RestoreResult &result);

} // namespace diffrows

#endif // DIFFROWS_H
