#include "binding.h"

#include "setting.h"

#include <limits>

namespace velotune {

py::str toPy(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return {utf8.constData(), std::size_t(utf8.size())};
}

QString fromPy(const std::string &text)
{
    return QString::fromStdString(text);
}

uint32_t toValue(const py::handle &value, const char *name)
{
    // bool is an int to Python, but True is no speed.
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr()))
        throw py::type_error(std::string(name) + " must be an int, not "
                             + Py_TYPE(value.ptr())->tp_name);
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || number < 0 || number > std::numeric_limits<uint32_t>::max())
        throw py::value_error(std::string(name) + " must be from 0 to 4294967295, not "
                              + py::str(value).cast<std::string>());
    return uint32_t(number);
}

py::object lowVibrationObject(nexil::LowVibration mode)
{
    if (mode == nexil::LowVibration::Unsupported)
        return py::none();
    return py::bool_(mode == nexil::LowVibration::On);
}

py::dict channelDict(const nexil::ChannelSettings &channel)
{
    py::dict settings;
    settings["channel"] = channel.index;
    settings["positioner"] = channel.positioner;
    if (!channel.positioner)
        return settings;
    settings["sensor_type"] = channel.sensorType;
    settings["speed"] = channel.speed;
    settings["speed_unit"] = toPy(nexil::info(nexil::Setting::Speed).unit(channel.sensorType));
    settings["acceleration"] = channel.acceleration;
    settings["acceleration_unit"]
            = toPy(nexil::info(nexil::Setting::Acceleration).unit(channel.sensorType));
    settings["low_vibration"] = lowVibrationObject(channel.lowVibration);
    return settings;
}

} // namespace velotune
