#ifndef ABOUTLIBRARY_H
#define ABOUTLIBRARY_H

#include "about.h"

// What About says of the controller library this process loaded, or why none could be used,
// so a simulated session never passes for real hardware.
LibraryLine aboutLibraryLine();

#endif // ABOUTLIBRARY_H
