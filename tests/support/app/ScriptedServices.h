#pragma once

// The stand-ins for the window's services (app::Services): message boxes, file dialogs and
// the video library, each recording what the window asks and answering as a scripted user
// (or library) would.

#include "tests/support/dialogs/ScriptedCommonDialogs.h"
#include "tests/support/msgbox/ScriptedMessageBox.h"
#include "tests/support/video/RecordingAVIDecs.h"
