#include "about.h"

#include <QScreen>
#include <QScrollArea>
#include <QStyle>

About::About(int major, int minor, int patch, const LibraryLine &library) : QDialog(nullptr)
{
    ui.setupUi(this);
    ui.lVersion->setText(tr("%1.%2.%3").arg(major).arg(minor).arg(patch));
    showLibrary(library);
    fitIntoScreen();
}

About::~About() = default;

// Which library the controls reach, so a simulated session never passes for real hardware.
void About::showLibrary(const LibraryLine &library)
{
    auto *line = new QLabel(ui.frame);
    line->setObjectName(QStringLiteral("lLibrary"));
    QFont font;
    font.setPointSize(8);
    line->setFont(font);
    line->setAlignment(Qt::AlignCenter);
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The library's path comes from the environment: shown as it is, never as markup.
    line->setTextFormat(Qt::PlainText);
    ui.verticalLayout->insertWidget(ui.verticalLayout->indexOf(ui.horizontalLayout_2) + 1, line);

    if (library.file.isEmpty()) {
        line->setWordWrap(true);
        line->setText(library.format);
        line->setToolTip(line->text());
        return;
    }
    const QString &format = library.format;
    line->setToolTip(format.arg(library.file));
    // A long path is shortened in its middle so the line stays one line; the tooltip holds it all.
    layout()->activate();
    ui.verticalLayout->activate();
    const QFontMetrics metrics(font);
    const int room = ui.verticalLayout->contentsRect().width()
            - metrics.horizontalAdvance(format.arg(QString()));
    line->setText(format.arg(metrics.elidedText(library.file, Qt::ElideMiddle, room)));
}

// On a small or highly scaled screen the fixed size would put the OK button out of reach:
// the text then scrolls inside a dialog that fits.
void About::fitIntoScreen()
{
    const QScreen *screen = this->screen();
    if (screen == nullptr)
        return;
    QSize room = screen->availableGeometry().size();
    room.rheight() -= style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    if (width() <= room.width() && height() <= room.height())
        return;

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    delete ui.verticalLayout_2->replaceWidget(ui.frame, scroll);
    scroll->setWidget(ui.frame);
    const QSize fitted = size().boundedTo(room);
    setMinimumSize(fitted);
    setMaximumSize(fitted);
    resize(fitted);
}
