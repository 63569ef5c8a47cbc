#ifndef CLI_WRITEREPORT_H
#define CLI_WRITEREPORT_H

#include "session.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

// The writes set and restore plan, with what became of each. Once the command has printed the
// read-back outcome it calls finish(); if it ends any other way (a failed read, a signal, an
// error return) the destructor prints every write that was made, so standard output always
// says what was changed on the controller; standard error does once standard output is closed.
class WriteReport
{
public:
    struct Write
    {
        uint32_t channel = 0;
        nexil::Setting setting = nexil::Setting::Speed;
        QString field;
        QString from;
        QString to;
        bool tried = false;
        QString refusal; // the status text when the controller refused
    };

    WriteReport() = default;
    ~WriteReport();
    WriteReport(const WriteReport &) = delete;
    WriteReport &operator=(const WriteReport &) = delete;

    std::size_t plan(uint32_t channel, nexil::Setting setting, const QString &field,
                     const QString &from, const QString &to);
    void made(std::size_t write) { m_writes[write].tried = true; }
    void refused(std::size_t write, const QString &status);
    const std::vector<Write> &writes() const { return m_writes; }
    void finish() { m_finished = true; }

private:
    std::vector<Write> m_writes;
    bool m_finished = false;
};

#endif // CLI_WRITEREPORT_H
