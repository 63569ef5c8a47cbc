#include "binding.h"

#include "differencetext.h"
#include "filereplace.h"
#include "snapshotsession.h"

#include "version.h"

#include <QJsonValue>

namespace velotune {

namespace {

using nexil::snapshot::Difference;

py::object jsonToPy(const QJsonValue &value)
{
    if (value.isBool())
        return py::bool_(value.toBool());
    if (value.isDouble())
        return py::int_(qint64(value.toDouble()));
    if (value.isString())
        return toPy(value.toString());
    return py::none();
}

QString differenceRepr(const Difference &d)
{
    return QStringLiteral("Difference(channel=%1, setting='%2', left=%3, right=%4)")
            .arg(d.channel < 0 ? QStringLiteral("None") : QString::number(d.channel), d.field,
                 QString::fromStdString(py::repr(jsonToPy(d.left)).cast<std::string>()),
                 QString::fromStdString(py::repr(jsonToPy(d.right)).cast<std::string>()));
}

std::vector<QStringList> differenceRows(const py::list &differences)
{
    std::vector<QStringList> rows;
    for (const py::handle item : differences) {
        const auto &d = item.cast<const Difference &>();
        rows.push_back({d.channel < 0 ? QString() : QString::number(d.channel), d.field,
                        nexil::snapshot::valueText(d.field, d.left, d.leftSensorType),
                        nexil::snapshot::valueText(d.field, d.right, d.rightSensorType),
                        nexil::snapshot::unitsNote(d)});
    }
    return rows;
}

const QStringList differenceHeaders{QStringLiteral("channel"), QStringLiteral("setting"),
                                    QStringLiteral("left"), QStringLiteral("right"),
                                    QStringLiteral("note")};

// Differences is a list that shows as a table in a notebook; its cells come from C++.
constexpr const char *differencesClass = R"(
class Differences(list):
    """What velotune.diff found: a list of Difference, left -> right."""

    def __str__(self):
        return _differences_text(self)

    def _repr_html_(self):
        return _differences_html(self)
)";

// Either side of diff: a controller is read now, a snapshot is taken as it is.
struct Side
{
    ControllerObject *controller = nullptr;
    const SnapshotObject *snapshot = nullptr;
};

Side sideOf(const py::object &side, const char *which)
{
    if (py::isinstance<ControllerObject>(side))
        return {&side.cast<ControllerObject &>(), nullptr};
    if (py::isinstance<SnapshotObject>(side))
        return {nullptr, &side.cast<const SnapshotObject &>()};
    throw py::type_error(std::string("diff: ") + which + " must be a Controller or a Snapshot, not "
                         + Py_TYPE(side.ptr())->tp_name);
}

std::vector<nexil::ChannelSettings> channelsOf(const Side &side)
{
    if (side.snapshot != nullptr)
        return side.snapshot->snapshot.channels;
    return readWhole(*side.controller->link);
}

QString snapshotCaption(const SnapshotObject &s)
{
    return QStringLiteral("%1, saved %2 by %3")
            .arg(s.snapshot.locator, s.snapshot.savedAt, s.snapshot.program);
}

} // namespace

SnapshotObject takeSnapshot(Link &link)
{
    SnapshotObject s;
    s.snapshot = nexil::snapshot::stamped(link.locator);
    s.snapshot.program = QStringLiteral("velotune (Python) " VELOTUNE_VERSION);
    s.snapshot.channels = readWhole(link);
    return s;
}

void bindSnapshots(py::module_ &m)
{
    py::class_<SnapshotObject>(m, "Snapshot",
                               "The settings of every channel of one controller, as "
                               "Controller.snapshot() read them or a snapshot file holds them; "
                               "the same files as the window's and velotune-cli's.")
            .def_static(
                    "load",
                    [](const std::string &path) {
                        SnapshotObject s;
                        s.path = fromPy(path);
                        QString error;
                        if (!nexil::snapshot::readFile(s.path, &s.snapshot, &error))
                            throw SnapshotFailure{s.path, error};
                        return s;
                    },
                    py::arg("path"),
                    "Reads a snapshot file; raises SnapshotError if it is not one.")
            .def(
                    "save",
                    [](SnapshotObject &s, const std::string &path) {
                        const QString file = fromPy(path);
                        QString error;
                        const py::gil_scoped_release release;
                        // All or nothing, and never onto anything but a regular file.
                        if (!nexil::filereplace::isReplaceable(file, &error)
                            || !nexil::snapshot::writeFile(file, s.snapshot, &error))
                            throw SnapshotFailure{file, error};
                        s.path = file;
                    },
                    py::arg("path"),
                    "Writes the snapshot file, replacing `path` only once the new file is "
                    "complete; raises SnapshotError.")
            .def_property_readonly(
                    "locator", [](const SnapshotObject &s) { return toPy(s.snapshot.locator); },
                    "The controller it was read from.")
            .def_property_readonly(
                    "saved_at", [](const SnapshotObject &s) { return toPy(s.snapshot.savedAt); },
                    "When it was read, ISO 8601 in UTC.")
            .def_property_readonly(
                    "program", [](const SnapshotObject &s) { return toPy(s.snapshot.program); },
                    "The program and version that read it.")
            .def_property_readonly(
                    "path", [](const SnapshotObject &s) { return toPy(s.path); },
                    "The file it was loaded from or last saved to; empty if none.")
            .def_property_readonly(
                    "channels",
                    [](const SnapshotObject &s) {
                        py::list channels;
                        for (const nexil::ChannelSettings &c : s.snapshot.channels)
                            channels.append(channelDict(c));
                        return channels;
                    },
                    "Every channel's settings, as Channel.read() gives them.")
            .def("__len__", [](const SnapshotObject &s) { return s.snapshot.channels.size(); })
            .def("__str__",
                 [](const SnapshotObject &s) {
                     return toPy(snapshotCaption(s) + QLatin1Char('\n')
                                 + textTable(channelHeaders(), channelRows(s.snapshot.channels)));
                 })
            .def("__repr__",
                 [](const SnapshotObject &s) {
                     return toPy(
                             QStringLiteral("<velotune.Snapshot of %1, %2 channel(s), saved %3>")
                                     .arg(s.snapshot.locator)
                                     .arg(s.snapshot.channels.size())
                                     .arg(s.snapshot.savedAt));
                 })
            .def("_repr_html_", [](const SnapshotObject &s) {
                return toPy(htmlTable(channelHeaders(), channelRows(s.snapshot.channels),
                                      snapshotCaption(s)));
            });

    py::class_<Difference>(m, "Difference",
                           "One setting that differs between the two sides of velotune.diff.")
            .def_property_readonly(
                    "channel",
                    [](const Difference &d) -> py::object {
                        if (d.channel < 0)
                            return py::none();
                        return py::int_(d.channel);
                    },
                    "The channel, or None when the channel counts differ.")
            .def_property_readonly(
                    "setting", [](const Difference &d) { return toPy(d.field); },
                    "The setting's key in a snapshot file, e.g. \"speed\".")
            .def_property_readonly(
                    "left", [](const Difference &d) { return jsonToPy(d.left); },
                    "The value on the left side.")
            .def_property_readonly(
                    "right", [](const Difference &d) { return jsonToPy(d.right); },
                    "The value on the right side.")
            .def_property_readonly(
                    "unit",
                    [](const Difference &d) {
                        return toPy(nexil::snapshot::unitOf(d.field, d.leftSensorType));
                    },
                    "The unit of speed or acceleration on that channel; empty for others.")
            .def_property_readonly(
                    "note", [](const Difference &d) { return toPy(nexil::snapshot::unitsNote(d)); },
                    "Set when the sensor types have other units, so speed and acceleration "
                    "were not compared.")
            .def("__str__",
                 [](const Difference &d) { return toPy(nexil::snapshot::differenceLine(d)); })
            .def("__repr__", [](const Difference &d) { return toPy(differenceRepr(d)); });

    py::exec(differencesClass, m.attr("__dict__"));
    m.attr("Differences").attr("__module__") = "velotune";
    m.def("_differences_text", [](const py::list &differences) {
        QStringList lines;
        for (const py::handle item : differences)
            lines << nexil::snapshot::differenceLine(item.cast<const Difference &>());
        return toPy(lines.isEmpty() ? QStringLiteral("no differences") : lines.join('\n'));
    });
    m.def("_differences_html", [](const py::list &differences) {
        return toPy(htmlTable(differenceHeaders, differenceRows(differences),
                              QStringLiteral("%1 difference(s)").arg(differences.size())));
    });

    const py::object differencesType = m.attr("Differences");
    m.def(
            "diff",
            [differencesType](const py::object &left, const py::object &right) {
                // Both checked before either controller is read.
                const Side l = sideOf(left, "left");
                const Side r = sideOf(right, "right");
                const std::vector<nexil::ChannelSettings> leftChannels = channelsOf(l);
                const std::vector<nexil::ChannelSettings> rightChannels = channelsOf(r);
                py::list found;
                for (const Difference &d : nexil::snapshot::compare(leftChannels, rightChannels))
                    found.append(py::cast(d));
                return differencesType(found);
            },
            py::arg("left"), py::arg("right"),
            "Compares two sides, each a Controller (read now) or a Snapshot: a Differences "
            "list of Difference, left -> right; empty when they hold the same settings.");
}

} // namespace velotune
