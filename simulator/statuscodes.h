#ifndef NEXILSIM_STATUSCODES_H
#define NEXILSIM_STATUSCODES_H

#include <cstdint>

namespace nexilsim {
namespace status {

constexpr uint32_t Ok = 0;
constexpr uint32_t OtherError = 1;
constexpr uint32_t InvalidParameter = 2;
constexpr uint32_t WrongOptions = 3;
constexpr uint32_t BufferTooSmall = 4;
constexpr uint32_t ConfigurationError = 5;
constexpr uint32_t UnknownLocator = 16;
constexpr uint32_t AlreadyOpen = 17;
constexpr uint32_t InvalidSystemIndex = 18;
constexpr uint32_t InvalidChannelIndex = 19;
constexpr uint32_t ValueOutOfRange = 20;
// Never produced by the model itself; there so injected link failures have a text.
constexpr uint32_t CommunicationError = 32;
constexpr uint32_t PropertyNotSupported = 155;
constexpr uint32_t HoldingPosition = 156;

// The library's own English text, nullptr for numbers it does not know.
inline const char *builtinText(uint32_t code)
{
    switch (code) {
    case Ok:
        return "No error";
    case OtherError:
        return "Unspecified error";
    case InvalidParameter:
        return "Invalid parameter";
    case WrongOptions:
        return "Unrecognised or unsupported options";
    case BufferTooSmall:
        return "Buffer too small";
    case ConfigurationError:
        return "Configuration error";
    case UnknownLocator:
        return "Unknown locator";
    case AlreadyOpen:
        return "System is already open";
    case InvalidSystemIndex:
        return "Invalid system index";
    case InvalidChannelIndex:
        return "Invalid channel index";
    case ValueOutOfRange:
        return "Value out of range";
    case CommunicationError:
        return "Communication with the controller failed";
    case PropertyNotSupported:
        return "Property not supported by this channel";
    case HoldingPosition:
        return "Channel is holding position";
    default:
        return nullptr;
    }
}

} // namespace status
} // namespace nexilsim

#endif // NEXILSIM_STATUSCODES_H
