#include "about.h"

#include <QScreen>
#include <QScrollArea>
#include <QStyle>

About::About(int major, int minor, int patch) : QDialog(nullptr)
{
    ui.setupUi(this);
    ui.lVersion->setText(tr("%1.%2.%3").arg(major).arg(minor).arg(patch));
    fitIntoScreen();
}

About::~About() = default;

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
