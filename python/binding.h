#ifndef PYTHON_BINDING_H
#define PYTHON_BINDING_H

// Python's headers first: they name a member `slots`, which Qt defines as a keyword.
#include <pybind11/eval.h>
#include <pybind11/pybind11.h>

#include "channelmodel.h"
#include "session.h"
#include "snapshot.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What the parts of the velotune module share: one opened controller behind a lock, the C++
// failures the module turns into its exceptions, and the conversions between Qt and Python.
namespace velotune {

namespace py = pybind11;

// A refused library call. Thrown without the GIL; raised as ControllerError (Busy for 17).
struct ControllerFailure
{
    uint32_t status = 0;
    QString message;
    QString text;
    QString function;
};
// A snapshot file that cannot be read, written or restored; raised as SnapshotError.
struct SnapshotFailure
{
    QString file;
    QString reason;
};
// A call on a controller that was released; raised as velotune.Error.
struct Released
{
    QString locator;
};

// `prefix` goes before the message ("usb:id:31415926: ").
ControllerFailure failureOf(const nexil::Failure &failure, const QString &prefix);

py::str toPy(const QString &text);
QString fromPy(const std::string &text);
// An int from 0 to 4294967295; anything else raises before any library call.
uint32_t toValue(const py::handle &value, const char *name);

// Low Vibration Mode as Python sees it: True, False or None.
py::object lowVibrationObject(nexil::LowVibration mode);
// The settings of one channel: channel, positioner, sensor_type, speed, acceleration,
// low_vibration, speed_unit, acceleration_unit.
py::dict channelDict(const nexil::ChannelSettings &channel);

// Asked between library calls, without the GIL: takes it, lets Python run its signal handlers
// and keeps the exception one raised (KeyboardInterrupt) until the sequence has ended.
class Interruption
{
public:
    Interruption() = default;
    ~Interruption();
    Interruption(const Interruption &) = delete;
    Interruption &operator=(const Interruption &) = delete;

    bool operator()();
    bool pending() const { return m_type != nullptr; }
    // With the GIL: raises the kept exception, `attribute` set on it to `value` if given.
    [[noreturn]] void raise(const char *attribute = nullptr, py::object value = py::none());

private:
    PyObject *m_type = nullptr;
    PyObject *m_value = nullptr;
    PyObject *m_traceback = nullptr;
};

// One opened controller. Every sequence of library calls holds `mutex`, taken once the GIL is
// released, so threads sharing it take turns and other threads run meanwhile.
struct Link
{
    Link() : model(nullptr, true) { }
    std::mutex mutex;
    nexil::ChannelModel model;
    QString locator;

    // Throws Released once closed; call with `mutex` held.
    void checkOpen() const;
    std::vector<uint32_t> everyChannel() const;
    // Every channel, `cancel` asked before each; throws ControllerFailure.
    std::vector<nexil::ChannelSettings> readAll(const nexil::ChannelModel::Cancel &cancel);
};

// Reads every channel of `link` with the GIL released; KeyboardInterrupt raises.
std::vector<nexil::ChannelSettings> readWhole(Link &link);

struct SnapshotObject
{
    nexil::Snapshot snapshot;
    QString path; // the file it was loaded from or saved to, if any
};

struct ControllerObject
{
    std::shared_ptr<Link> link;
};

// Runs `work` without the GIL, holding the controller's lock: the GIL is never waited for
// while the lock is held.
template<typename Work>
auto underLock(Link &link, Work &&work)
{
    const py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(link.mutex);
    return work();
}

// The same on an open controller; throws Released once closed.
template<typename Work>
auto withLink(Link &link, Work &&work)
{
    return underLock(link, [&] {
        link.checkOpen();
        return work();
    });
}

ControllerObject openController(const std::string &locator);
SnapshotObject takeSnapshot(Link &link);
py::object restoreOnto(ControllerObject &controller, const SnapshotObject &file,
                       const py::object &channels, const py::object &fields, bool dryRun);

// Text and HTML tables; every cell is escaped for HTML.
QString textTable(const QStringList &headers, const std::vector<QStringList> &rows);
QString htmlTable(const QStringList &headers, const std::vector<QStringList> &rows,
                  const QString &caption);
std::vector<QStringList> channelRows(const std::vector<nexil::ChannelSettings> &channels);
QStringList channelHeaders();

void bindErrors(py::module_ &m);
void bindController(py::module_ &m);
void bindSnapshots(py::module_ &m);
void bindRestore(py::module_ &m);

} // namespace velotune

#endif // PYTHON_BINDING_H
