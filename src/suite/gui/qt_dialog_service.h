#pragma once
// Forwards to the header's own place, gui/qt_dialog_service.h, for the crash dialogs,
// which still include it from here; it goes when they next change.
#include "gui/qt_dialog_service.h"
