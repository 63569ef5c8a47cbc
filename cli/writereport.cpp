#include "writereport.h"

#include "output.h"
#include "restoretext.h"

WriteReport::~WriteReport()
{
    // Once standard output is gone (its reader closed it), the writes are told on stderr, where
    // someone may still read them, even after the outcome went to the closed output.
    const bool toErr = output::outError() != 0;
    if (m_finished && !toErr)
        return;
    const auto say = [toErr](const QString &line) {
        if (toErr)
            output::err(line);
        else
            output::out(line + QLatin1Char('\n'));
    };
    std::size_t tried = 0;
    for (const Write &write : m_writes) {
        if (!write.tried)
            continue;
        ++tried;
        say(QStringLiteral("channel %1 %2: %3 -> %4 %5")
                    .arg(write.channel)
                    .arg(write.field, write.from, write.to,
                         !write.refusal.isEmpty() ? nexil::restoretext::failed(write.refusal)
                                 : m_finished     ? nexil::restoretext::written()
                                                  : nexil::restoretext::notReadBack()));
    }
    if (tried == 0)
        return;
    if (m_finished)
        say(QStringLiteral("%1 of %2 planned write(s) made; standard output was closed")
                    .arg(tried)
                    .arg(m_writes.size()));
    else
        say(nexil::restoretext::stoppedAfter(tried, m_writes.size()));
}

std::size_t WriteReport::plan(uint32_t channel, nexil::Setting setting, const QString &field,
                              const QString &from, const QString &to)
{
    m_writes.push_back({channel, setting, field, from, to, false, QString()});
    return m_writes.size() - 1;
}

void WriteReport::refused(std::size_t write, const QString &status)
{
    m_writes[write].tried = true;
    m_writes[write].refusal = status;
}
