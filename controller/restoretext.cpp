#include "restoretext.h"

#include <QCoreApplication>

namespace nexil::restoretext {

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("Velotune", text, nullptr, n);
}

} // namespace

QString failed(const QString &message)
{
    return tr("FAILED: %1").arg(message);
}

QString holds(const QString &value)
{
    return tr("FAILED: the controller holds %1").arg(value);
}

QString notReadBack()
{
    return tr("written, not read back");
}

QString asAsked()
{
    return tr("written and read back as asked");
}

QString restored()
{
    return tr("restored");
}

QString matches(const QString &controller, const QString &file, std::size_t written)
{
    return tr("%1 matches %2 (%n field(s) written)", int(written)).arg(controller, file);
}

QString doesNotMatch(const QString &controller, const QString &file)
{
    return tr("%1 does not match %2").arg(controller, file);
}

QString unreadable(const QString &controller, const QString &why)
{
    return tr("%1 could not be read back after the writes: %2").arg(controller, why);
}

QString stoppedAfter(std::size_t tried, std::size_t planned)
{
    return tr("stopped after %1 of %2 planned write(s); the controller was not read back")
            .arg(tried)
            .arg(planned);
}

QString otherUnits(const QString &units)
{
    return tr("other units%1: speed and acceleration not compared").arg(units);
}

QString writeOutcome(const WriteResult &result)
{
    return result.outcome == Outcome::Refused ? failed(result.message) : tr("written");
}

QString stepOutcome(const RestoreStep &step, const QString &held)
{
    switch (step.outcome) {
    case StepOutcome::NotTried:
        break;
    case StepOutcome::AsAsked:
        return asAsked();
    case StepOutcome::Refused:
        return failed(step.message);
    case StepOutcome::NotReadBack:
        return notReadBack();
    case StepOutcome::Differs:
        return holds(held);
    }
    return QString();
}

} // namespace nexil::restoretext
