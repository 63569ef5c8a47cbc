#include "velotune.h"

#include "about.h"
#include "aboutlibrary.h"
#include "channeloverview.h"
#include "historylog.h"
#include "journal.h"
#include "queuedsteps.h"
#include "sepspinbox.h"
#include "statustip.h"
#include "units.h"
#include "version.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QTextDocument>

#include <functional>
#include <utility>

namespace {

// A stored geometry may come from a larger screen or be damaged: a window bigger than the
// screen can exhaust memory on its first paint, and one off screen cannot be reached.
void keepOnScreen(QWidget *window)
{
    if (window->isMaximized() || window->isFullScreen())
        return;
    QRect geometry = window->geometry();
    const QScreen *screen = QGuiApplication::screenAt(geometry.center());
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect area = screen->availableGeometry();
    geometry.setSize(geometry.size().boundedTo(area.size()).expandedTo(window->minimumSize()));
    if (geometry.right() > area.right())
        geometry.moveRight(area.right());
    if (geometry.bottom() > area.bottom())
        geometry.moveBottom(area.bottom());
    if (geometry.left() < area.left())
        geometry.moveLeft(area.left());
    if (geometry.top() < area.top())
        geometry.moveTop(area.top());
    if (geometry != window->geometry())
        window->setGeometry(geometry);
}

// Alt with a letter is a mnemonic, never text: without this, a mnemonic that nothing answers
// would type its letter into the locator.
class NoAltTyping : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->modifiers().testFlag(Qt::AltModifier)
            || key->modifiers().testFlag(Qt::ControlModifier) || key->text().isEmpty())
            return false;
        event->ignore();
        return true;
    }
};

// Quitting makes no controller call: as the window goes, the focus leaving a field must not
// turn the edit being typed into a write, and held steps are dropped.
class NoCallsOnClose : public QObject
{
public:
    NoCallsOnClose(QWidget *window, std::function<void()> closing)
        : QObject(window), m_closing(std::move(closing))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            m_closing();
        return false;
    }

private:
    std::function<void()> m_closing;
};

// The tooltip of a field also says what the field takes, grouped as the field shows it.
void addRangeToToolTip(QSpinBox *box)
{
    const QString range
            = Velotune::tr("Range: %1 to %2")
                      .arg(nexil::grouped(box->minimum()), nexil::grouped(box->maximum()));
    QString tip = box->toolTip();
    const int end = tip.lastIndexOf(QLatin1String("</body>"));
    if (!Qt::mightBeRichText(tip) || end < 0) {
        box->setToolTip(tip.isEmpty() ? range : tip + QLatin1Char('\n') + range);
        return;
    }
    tip.insert(end,
               QLatin1String("\n<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; "
                             "margin-right:0px; -qt-block-indent:0; text-indent:0px;\"><span "
                             "style=\" font-size:8pt;\">")
                       + range.toHtmlEscaped() + QLatin1String("</span></p>"));
    box->setToolTip(tip);
}

} // namespace

Velotune::Velotune(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags),
      model(new nexil::ChannelModel(nullptr, false, this)),
      statusTip(nullptr),
      queuedSteps(nullptr),
      historyLog(new HistoryLog(this))
{
    // The settings store below is located by these.
    QCoreApplication::setOrganizationName(QStringLiteral("Norvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("norvane.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Velotune"));
    QCoreApplication::setApplicationVersion(tr("%1.%2.%3")
                                                    .arg(VELOTUNE_VERSION_MAJOR)
                                                    .arg(VELOTUNE_VERSION_MINOR)
                                                    .arg(VELOTUNE_VERSION_PATCH));
    // Next to the program, not in whatever folder it was started from: plug-ins are code.
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath()
                                     + QStringLiteral("/plugins"));

    ui.setupUi(this);
    fields = {{ui.sbSpeed, {ui.sbSpeed, nexil::Setting::Speed}},
              {ui.sbAcceleration, {ui.sbAcceleration, nexil::Setting::Acceleration}}};
    for (const auto &field : fields) {
        const nexil::SettingInfo &setting = nexil::info(field.second.second);
        field.second.first->setRange(int(setting.minimum), int(setting.maximum));
    }
    ui.lLowVibration->setEnabled(false);
    ui.pbLowVibration->setEnabled(false);
    addRangeToToolTip(ui.sbSpeed);
    addRangeToToolTip(ui.sbAcceleration);
    setWindowTitle(tr("Nexil Velotune v%1.%2.%3")
                           .arg(VELOTUNE_VERSION_MAJOR)
                           .arg(VELOTUNE_VERSION_MINOR)
                           .arg(VELOTUNE_VERSION_PATCH));
    connect(ui.aAbout_Qt, &QAction::triggered, qApp, &QApplication::aboutQt);

    // A button's text replaces its shortcut with the text's mnemonic, so the Ctrl+Space the
    // form gives it would be lost at the first connect. The button keeps its mnemonic and
    // Ctrl+Space gets a shortcut of its own, which clicks at once: an animated click would
    // click a second time on the Space key's release while the button has the focus.
    const QKeySequence toggleLink = ui.pbConnect->shortcut();
    ui.pbConnect->setShortcut(QKeySequence::mnemonic(ui.pbConnect->text()));
    auto *toggleShortcut = new QShortcut(toggleLink, this);
    toggleShortcut->setAutoRepeat(false);
    connect(toggleShortcut, &QShortcut::activated, ui.pbConnect, &QPushButton::click);

    // What is typed is what is opened: no completion that could swap in a listed locator.
    ui.cbLocator->setCompleter(nullptr);
    ui.cbLocator->installEventFilter(new NoAltTyping(ui.cbLocator));
    SepSpinBox::takeWheelOnlyWithFocus(ui.sbChannelIndex);

    connect(model, &nexil::ChannelModel::written, this, &Velotune::noteWritten);
    followJournal();

    statusTip = new StatusTip(ui.statusBar);
    queuedSteps = new QueuedSteps(this);
    queuedSteps->watch(ui.sbSpeed);
    queuedSteps->watch(ui.sbAcceleration);
    connect(queuedSteps, &QueuedSteps::drained, this, [this] { writeHeldSteps(); });
    new NoCallsOnClose(this, [this] {
        queuedSteps->takeHeld();
        // An edit open in the overview is dropped too.
        if (overview != nullptr)
            overview->blockSignals(true);
        for (QWidget *field :
             {static_cast<QWidget *>(ui.sbChannelIndex), static_cast<QWidget *>(ui.sbSpeed),
              static_cast<QWidget *>(ui.sbAcceleration)})
            field->blockSignals(true);
    });

    QSettings settings;
    restoreGeometry(settings.value(QStringLiteral("geometry"), QByteArray()).toByteArray());
    keepOnScreen(this);
    restoreState(settings.value(QStringLiteral("windowState"), QByteArray()).toByteArray(), 0);

    ui.pbRefresh->click();
}

Velotune::~Velotune()
{
    nexil::journal::setListener(nullptr);
    // The overview goes after the session: an edit it closes on the way must not reach it.
    if (overview != nullptr)
        overview->blockSignals(true);
    QSettings settings;
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState(0));
}

void Velotune::on_aAbout_triggered()
{
    About about(VELOTUNE_VERSION_MAJOR, VELOTUNE_VERSION_MINOR, VELOTUNE_VERSION_PATCH,
                aboutLibraryLine());
    about.exec();
}
