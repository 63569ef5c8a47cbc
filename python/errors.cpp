#include "binding.h"

#include "messages.h"
#include "statusformat.h"

#include <cstring>
#include <exception>
#include <utility>

namespace velotune {

namespace {

// The library function behind each message.
const char *functionOf(const char *format)
{
    namespace msg = nexil::message;
    static const std::pair<const char *, const char *> functions[] = {
            {msg::search, "TQ_FindSystems"},
            {msg::connect, "TQ_OpenSystem"},
            {msg::channelCount, "TQ_GetNumberOfChannels"},
            {msg::release, "TQ_CloseSystem"},
            {msg::readChannelType, "TQ_GetChannelType"},
            {msg::readSensorType, "TQ_GetSensorType_S"},
            {msg::readSpeed, "TQ_GetClosedLoopMoveSpeed_S"},
            {msg::readAcceleration, "TQ_GetClosedLoopMoveAcceleration_S"},
            {msg::readLowVibration, "TQ_GetChannelProperty_S"},
            {msg::writeSpeed, "TQ_SetClosedLoopMoveSpeed_S"},
            {msg::writeAcceleration, "TQ_SetClosedLoopMoveAcceleration_S"},
            {msg::stopForLowVibration, "TQ_Stop_S"},
            {msg::writeLowVibration, "TQ_SetChannelProperty_S"},
    };
    for (const auto &[message, function] : functions) {
        if (std::strcmp(message, format) == 0)
            return function;
    }
    return "";
}

// The exception classes need only their attributes; every text comes from C++.
constexpr const char *exceptionClasses = R"(
class Error(Exception):
    """The base of every error the velotune module raises."""


class ControllerError(Error):
    """The controller library refused a call.

    status: the library's status number; text: the library's text for it;
    function: the library function that failed."""

    def __init__(self, message, status, text, function):
        super().__init__(message)
        self.status = status
        self.text = text
        self.function = function


class Busy(ControllerError):
    """Status 17: the controller is held open by another program or object."""


class SnapshotError(Error):
    """A snapshot file could not be read, written or restored.

    file: the file's name; reason: what is wrong."""

    def __init__(self, file, reason):
        super().__init__(reason)
        self.file = file
        self.reason = reason
)";

py::object exceptionClass(const char *name)
{
    return py::module_::import("velotune").attr(name);
}

// A translator sets the error and returns.
void setError(const py::object &instance)
{
    PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(instance.ptr())), instance.ptr());
}

} // namespace

ControllerFailure failureOf(const nexil::Failure &failure, const QString &prefix)
{
    const QString text = nexil::statusText(failure.status);
    return {failure.status,
            prefix
                    + nexil::statusMessage(QString::fromLatin1(failure.format), failure.status,
                                           text),
            text, QString::fromLatin1(functionOf(failure.format))};
}

Interruption::~Interruption()
{
    // Not raised: the sequence ended in another exception, which goes on instead.
    if (pending()) {
        const PyGILState_STATE gil = PyGILState_Ensure();
        Py_XDECREF(m_type);
        Py_XDECREF(m_value);
        Py_XDECREF(m_traceback);
        PyGILState_Release(gil);
    }
}

bool Interruption::operator()()
{
    if (pending())
        return true;
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0)
        return false;
    PyErr_Fetch(&m_type, &m_value, &m_traceback);
    PyErr_NormalizeException(&m_type, &m_value, &m_traceback);
    return true;
}

void Interruption::raise(const char *attribute, py::object value)
{
    if (attribute != nullptr && m_value != nullptr)
        PyObject_SetAttrString(m_value, attribute, value.ptr());
    PyErr_Restore(m_type, m_value, m_traceback);
    m_type = m_value = m_traceback = nullptr;
    throw py::error_already_set();
}

void bindErrors(py::module_ &m)
{
    py::exec(exceptionClasses, m.attr("__dict__"));
    // By value: the signature pybind11 takes.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error)
                std::rethrow_exception(error);
        } catch (const ControllerFailure &f) {
            const char *name = f.status == 17 ? "Busy" : "ControllerError";
            setError(exceptionClass(name)(toPy(f.message), f.status, toPy(f.text),
                                          toPy(f.function)));
        } catch (const SnapshotFailure &f) {
            setError(exceptionClass("SnapshotError")(toPy(f.file), toPy(f.reason)));
        } catch (const Released &r) {
            setError(exceptionClass("Error")(
                    toPy(r.locator + QStringLiteral(": the controller was released"))));
        }
    });
}

} // namespace velotune
