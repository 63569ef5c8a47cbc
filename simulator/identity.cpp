// Tells a program that loaded this library that its controllers are simulated.

#include "nexilcontrol.h"

extern "C" NEXILCONTROL_API const char nexilsim_identity[] = "Velotune controller simulator";
