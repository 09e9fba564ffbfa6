#pragma once
// Forwards to the header's own place, gui/desktop_services.h, for the crash dialogs,
// which still include it from here; it goes when they next change.
#include "gui/desktop_services.h"
