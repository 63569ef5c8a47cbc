// A program that journals, for the journal's tests: appends COUNT write events (a hostile
// locator with every control character when asked), then prints the journal's state as
// "on|off|failed<TAB>path<TAB>reason".

#include "journal.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1;
    const bool hostile = argc > 2 && qstrcmp(argv[2], "hostile") == 0;
    QString odd;
    for (char16_t c = 0; c < 0xa0; ++c) {
        if (c < 0x20 || c >= 0x7f)
            odd += QChar(c);
    }
    odd += QChar(0x2028) + QString(QChar(0xd800)) + QStringLiteral("\"\\");
    for (int i = 0; i < count; ++i) {
        nexil::journal::Event event;
        event.kind = nexil::journal::Kind::Write;
        event.locator = hostile ? QStringLiteral("usb:id:1") + odd : QStringLiteral("usb:id:1");
        event.channel = uint32_t(i % 3);
        event.setting = i % 2 == 0 ? nexil::Setting::Speed : nexil::Setting::LowVibration;
        event.oldValue = uint32_t(i);
        event.newValue = uint32_t(i + 1);
        event.unit = QStringLiteral("nm/sec");
        event.outcome = nexil::journal::Outcome::Taken;
        event.source = QStringLiteral("cli set");
        event.text = hostile ? odd : QString();
        nexil::journal::record(event);
    }
    const nexil::journal::Status status = nexil::journal::state();
    const char *names[] = {"on", "off", "failed"};
    QTextStream(stdout) << names[int(status.state)] << '\t' << status.path << '\t' << status.reason
                        << '\n';
    return 0;
}
