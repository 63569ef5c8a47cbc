#include "simcontrol.h"

#include "simulator.h"

namespace nexilsim {

std::string Call::text() const
{
    std::string line = function + '(';
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0)
            line += ',';
        line += args[i];
    }
    return line + ")=" + std::to_string(result);
}

uint32_t loadFleet(const std::string &json)
{
    return Simulator::instance().loadFleet(json);
}

void loadDefaultFleet()
{
    Simulator::instance().loadDefaultFleet();
}

void setLatencyMicroseconds(uint32_t us)
{
    Simulator::instance().setLatency(us);
}

void failNext(const std::string &function, uint32_t status, int count)
{
    Simulator::instance().failNext(function, status, count);
}

void clearFaults()
{
    Simulator::instance().clearFaults();
}

void setNullStatusInfo(bool on)
{
    Simulator::instance().setNullStatusInfo(on);
}

void setStatusText(uint32_t status, const std::string &text)
{
    Simulator::instance().setStatusText(status, text);
}

void setDiscoveryOverride(const std::string &rawBytes, bool overrideActive)
{
    Simulator::instance().setDiscoveryOverride(rawBytes, overrideActive);
}

void setFaultHook(FaultHook hook)
{
    Simulator::instance().setFaultHook(std::move(hook));
}

void setValueHook(ValueHook hook)
{
    Simulator::instance().setValueHook(std::move(hook));
}

std::vector<Call> callLog()
{
    return Simulator::instance().callLog();
}

std::vector<std::string> callLogText()
{
    std::vector<std::string> lines;
    for (const Call &call : callLog())
        lines.push_back(call.text());
    return lines;
}

void clearCallLog()
{
    Simulator::instance().clearCallLog();
}

bool channelState(const std::string &locator, uint32_t channel, ChannelState *out)
{
    return Simulator::instance().channelState(locator, channel, out);
}

std::vector<std::string> locators()
{
    return Simulator::instance().locators();
}

} // namespace nexilsim
