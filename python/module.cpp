#include "binding.h"

#include "nexillibrary.h"
#include "programname.h"
#include "session.h"
#include "tracefile.h"

#include "version.h"

#include <QStringList>

namespace velotune {

namespace {

struct LibraryObject
{
    nexil::LibraryInfo info;
};

} // namespace

} // namespace velotune

PYBIND11_MODULE(velotune, m)
{
    using namespace velotune;
    m.doc() = "Speed, acceleration and Low Vibration Mode of Nexil controllers, through the same "
              "channel model as the Velotune window and velotune-cli.";
    m.attr("__version__") = VELOTUNE_VERSION;
    // The trace and the journal name the program whose calls they record.
    nexil::setProgramName(QStringLiteral("python3"));
    nexil::traceToFileIfAsked();

    bindErrors(m);

    py::class_<LibraryObject>(m, "LibraryInfo", "The controller library in use.")
            .def_property_readonly(
                    "path", [](const LibraryObject &l) { return toPy(l.info.file); },
                    "The file loaded, or the one that was tried.")
            .def_property_readonly(
                    "loaded", [](const LibraryObject &l) { return l.info.loaded; },
                    "False when no usable library was found; `error` says why.")
            .def_property_readonly(
                    "simulated", [](const LibraryObject &l) { return l.info.simulator; },
                    "True for Velotune's controller simulator.")
            .def_property_readonly(
                    "version", [](const LibraryObject &) { return VELOTUNE_VERSION; },
                    "The version of this module, as velotune-cli --version prints it.")
            .def_property_readonly(
                    "error", [](const LibraryObject &l) { return toPy(l.info.error); },
                    "Why nothing is loaded; empty when loaded.")
            .def("__repr__", [](const LibraryObject &l) {
                return toPy(
                        QStringLiteral("<velotune.LibraryInfo %1%2%3>")
                                .arg(l.info.file,
                                     l.info.simulator ? QStringLiteral(" (simulator)") : QString(),
                                     l.info.loaded ? QString()
                                                   : QStringLiteral(": ") + l.info.error));
            });

    m.def(
            "library",
            [] {
                const py::gil_scoped_release release;
                return LibraryObject{nexil::library()};
            },
            "The controller library: the file NEXILCONTROL_LIBRARY names (an absolute path), "
            "else the maker's libNexilControl.so. Loaded on first use.");
    m.def(
            "find",
            [] {
                QStringList locators;
                nexil::Failure failure;
                {
                    const py::gil_scoped_release release;
                    failure = nexil::findSystems(&locators);
                    if (failure)
                        throw failureOf(failure, QString());
                }
                py::list found;
                for (const QString &locator : locators)
                    found.append(toPy(locator));
                return found;
            },
            "The locators of the USB-attached controllers, as velotune-cli list prints them.");
    m.def("open", &openController, py::arg("locator"),
          "Opens the controller at `locator` (e.g. \"usb:id:31415926\") and returns a "
          "Controller; use it in a with block. Raises Busy when another program holds it.");

    bindController(m);
    bindSnapshots(m);
    bindRestore(m);
}
