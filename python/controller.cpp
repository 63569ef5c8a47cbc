#include "binding.h"

#include "nexillibrary.h"
#include "programname.h"
#include "setting.h"

#include <QStringList>

namespace velotune {

void Link::checkOpen() const
{
    if (!model.isOpen())
        throw Released{locator};
}

std::vector<uint32_t> Link::everyChannel() const
{
    std::vector<uint32_t> channels;
    for (uint32_t i = 0; i < model.channelCount(); ++i)
        channels.push_back(i);
    return channels;
}

std::vector<nexil::ChannelSettings> Link::readAll(const nexil::ChannelModel::Cancel &cancel)
{
    std::vector<nexil::ChannelSettings> channels;
    uint32_t failed = 0;
    if (const nexil::Failure failure
        = model.readChannels(everyChannel(), &channels, &failed, nullptr, cancel))
        throw failureOf(failure, locator + QStringLiteral(": channel %1: ").arg(failed));
    return channels;
}

std::vector<nexil::ChannelSettings> readWhole(Link &link)
{
    Interruption interrupted;
    std::vector<nexil::ChannelSettings> channels
            = withLink(link, [&] { return link.readAll([&] { return interrupted(); }); });
    if (interrupted.pending())
        interrupted.raise();
    return channels;
}

namespace {

struct ChannelObject
{
    std::shared_ptr<Link> link;
    uint32_t index = 0;

    QString prefix() const { return link->locator + QStringLiteral(": channel %1: ").arg(index); }

    // One read; a failed one raises ControllerError, except PropertyNotSupported when allowed.
    nexil::Reading read(nexil::Read what, bool unsupportedIsAnswer = false) const
    {
        return withLink(*link, [&] {
            const nexil::Reading reading = link->model.read(what, index);
            if (reading.status != 0
                && !(unsupportedIsAnswer && reading.status == nexil::PropertyNotSupported))
                throw failureOf({nexil::readFailure(what), reading.status}, prefix());
            return reading;
        });
    }

    // The write with the window's reads; after a refusal the setting is read again, so the
    // model holds what the controller holds, and ControllerError is raised.
    void write(nexil::Setting setting, uint32_t value) const
    {
        withLink(*link, [&] {
            const nexil::WriteResult result = link->model.write(
                    index, setting, value, nexil::Source::Python, nullptr, true);
            if (result.outcome != nexil::Outcome::Taken)
                throw failureOf(result.failure, prefix());
            return 0;
        });
    }

    QString unit(nexil::Setting setting) const
    {
        return nexil::info(setting).unit(read(nexil::Read::SensorType).value);
    }
};

void close(Link &link)
{
    underLock(link, [&] {
        if (!link.model.isOpen())
            return;
        if (const nexil::Failure failure = link.model.close())
            throw failureOf(failure, link.locator + QStringLiteral(": "));
    });
}

QString describe(const Link &link)
{
    if (!link.model.isOpen())
        return QStringLiteral("<velotune.Controller %1, released>").arg(link.locator);
    return QStringLiteral("<velotune.Controller %1, %2 channel(s)>")
            .arg(link.locator)
            .arg(link.model.channelCount());
}

} // namespace

ControllerObject openController(const std::string &locator)
{
    auto link = std::make_shared<Link>();
    link->locator = fromPy(locator);
    {
        underLock(*link, [&] {
            if (const nexil::Failure failure = link->model.open(link->locator))
                throw failureOf(failure, link->locator + QStringLiteral(": "));
        });
    }
    return {link};
}

void bindController(py::module_ &m)
{
    using nexil::Read;
    using nexil::Setting;
    py::class_<ChannelObject>(m, "Channel",
                              "One channel of an open controller. Every property "
                              "is read from the controller when asked for.")
            .def_property_readonly(
                    "index", [](const ChannelObject &c) { return c.index; },
                    "The channel's number, from 0.")
            .def_property_readonly(
                    "positioner",
                    [](const ChannelObject &c) {
                        return c.read(Read::ChannelType).value == nexil::PositionerChannel;
                    },
                    "True for a positioner channel, the only kind whose settings can be set.")
            .def_property_readonly(
                    "sensor_type",
                    [](const ChannelObject &c) { return c.read(Read::SensorType).value; },
                    "The sensor type, which gives speed and acceleration their units.")
            .def_property_readonly(
                    "speed_unit",
                    [](const ChannelObject &c) { return toPy(c.unit(Setting::Speed)); },
                    "The unit of speed on this channel, e.g. \"nm/sec\".")
            .def_property_readonly(
                    "acceleration_unit",
                    [](const ChannelObject &c) { return toPy(c.unit(Setting::Acceleration)); },
                    "The unit of acceleration on this channel, e.g. \"µm/sec²\".")
            .def_property(
                    "speed", [](const ChannelObject &c) { return c.read(Read::Speed).value; },
                    [](const ChannelObject &c, const py::handle &value) {
                        c.write(Setting::Speed, toValue(value, "speed"));
                    },
                    "The closed-loop move speed. Setting it writes it and reads it back; a "
                    "refused write raises ControllerError.")
            .def_property(
                    "acceleration",
                    [](const ChannelObject &c) { return c.read(Read::Acceleration).value; },
                    [](const ChannelObject &c, const py::handle &value) {
                        c.write(Setting::Acceleration, toValue(value, "acceleration"));
                    },
                    "The closed-loop move acceleration. Setting it writes it and reads it back.")
            .def_property(
                    "low_vibration",
                    [](const ChannelObject &c) -> py::object {
                        const nexil::Reading r = c.read(Read::LowVibration, true);
                        if (r.status == nexil::PropertyNotSupported)
                            return py::none();
                        return py::bool_(r.value != 0);
                    },
                    [](const ChannelObject &c, const py::handle &value) {
                        if (!PyBool_Check(value.ptr()))
                            throw py::type_error(std::string("low_vibration must be a bool, not ")
                                                 + Py_TYPE(value.ptr())->tp_name);
                        c.write(Setting::LowVibration, value.ptr() == Py_True ? 1 : 0);
                    },
                    "Low Vibration Mode: True, False, or None when the channel has no such "
                    "mode. Setting it stops the channel first.")
            .def(
                    "read",
                    [](const ChannelObject &c) {
                        nexil::ChannelSettings settings;
                        withLink(*c.link, [&] {
                            if (const nexil::Failure f
                                = c.link->model.readChannel(c.index, &settings))
                                throw failureOf(f, c.prefix());
                            return 0;
                        });
                        return channelDict(settings);
                    },
                    "Every setting of the channel as a dict, in one pass of reads.")
            .def("__repr__", [](const ChannelObject &c) {
                return toPy(QStringLiteral("<velotune.Channel %1 of %2>")
                                    .arg(c.index)
                                    .arg(c.link->locator));
            });

    py::class_<ControllerObject>(m, "Controller",
                                 "An open controller, from velotune.open(). Use it in a with "
                                 "block: leaving the block releases it. One Controller may be "
                                 "used from several threads; its calls take turns.")
            .def_property_readonly(
                    "locator", [](const ControllerObject &c) { return toPy(c.link->locator); },
                    "The locator it was opened with.")
            .def_property_readonly(
                    "channels",
                    [](const ControllerObject &c) {
                        const uint32_t count
                                = withLink(*c.link, [&] { return c.link->model.channelCount(); });
                        py::list channels;
                        for (uint32_t i = 0; i < count; ++i)
                            channels.append(ChannelObject{c.link, i});
                        return channels;
                    },
                    "The channels, indexed from 0.")
            .def_property_readonly(
                    "is_open",
                    [](const ControllerObject &c) {
                        return underLock(*c.link, [&] { return c.link->model.isOpen(); });
                    },
                    "False once released.")
            .def(
                    "snapshot", [](ControllerObject &c) { return takeSnapshot(*c.link); },
                    "Reads every channel into a Snapshot.")
            .def("restore", &restoreOnto, py::arg("snapshot"), py::arg("channels") = py::none(),
                 py::arg("fields") = py::none(), py::arg("dry_run") = false,
                 "Gives the controller the settings of `snapshot`: only what differs is "
                 "written, then the channels are read back. `channels`: the channel numbers, "
                 "all if None; `fields`: some of \"speed\", \"acceleration\", \"lowVibration\", "
                 "all if None; `dry_run`: plan only. Returns a RestoreReport.")
            .def(
                    "close", [](ControllerObject &c) { close(*c.link); },
                    "Releases the controller; later calls raise velotune.Error.")
            .def(
                    "__enter__", [](ControllerObject &c) -> ControllerObject & { return c; },
                    py::return_value_policy::reference_internal, "The controller itself.")
            .def(
                    "__exit__",
                    [](ControllerObject &c, const py::object &type, const py::object &,
                       const py::object &) {
                        try {
                            close(*c.link);
                        } catch (const ControllerFailure &) {
                            // An exception already on its way out says more than the release.
                            if (type.is_none())
                                throw;
                        }
                        return false;
                    },
                    "Releases the controller, as close() does; an exception leaving the block "
                    "goes on.")
            .def("__repr__", [](const ControllerObject &c) {
                return toPy(underLock(*c.link, [&] { return describe(*c.link); }));
            });
}

} // namespace velotune
