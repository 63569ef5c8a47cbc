#include "writereport.h"

#include "output.h"
#include "restoretext.h"

WriteReport::~WriteReport()
{
    if (m_finished)
        return;
    std::size_t tried = 0;
    for (const Write &write : m_writes) {
        if (!write.tried)
            continue;
        ++tried;
        output::out(QStringLiteral("channel %1 %2: %3 -> %4 %5\n")
                            .arg(write.channel)
                            .arg(write.field, write.from, write.to,
                                 write.refusal.isEmpty()
                                         ? nexil::restoretext::notReadBack()
                                         : nexil::restoretext::failed(write.refusal)));
    }
    if (tried > 0)
        output::out(nexil::restoretext::stoppedAfter(tried, m_writes.size()) + QLatin1Char('\n'));
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
