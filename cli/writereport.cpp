#include "writereport.h"

#include "output.h"

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
                                         ? QStringLiteral("written, not read back")
                                         : QStringLiteral("FAILED: ") + write.refusal));
    }
    if (tried > 0)
        output::out(QStringLiteral("stopped after %1 of %2 planned write(s); the controller was "
                                   "not read back\n")
                            .arg(tried)
                            .arg(m_writes.size()));
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
