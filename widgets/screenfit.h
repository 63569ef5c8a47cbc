#ifndef SCREENFIT_H
#define SCREENFIT_H

class QWidget;

namespace screenfit {

// Shrinks `window` to the available area of its screen, at whatever scale, and moves a window
// placed by the program back into it; a window not yet placed is left to the window system or,
// for a dialog, to its own centring, which keeps it on the screen once it fits.
void fitToScreen(QWidget *window);

} // namespace screenfit

#endif // SCREENFIT_H
