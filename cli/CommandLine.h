#pragma once

// The command line: files and folders for the frame list, and the batch mode that makes the
// video with no window:  kelvora-maker [--output OUT.avi [--fps N]] [FILE|FOLDER]...

#include <QCoreApplication>
#include <QStringList>

namespace kelvora::cli {

struct Invocation {
    QStringList items;  // files and folders, in the order given
    QString output;     // the video to make without a window; empty: open the window
    int fps = 25;       // the window's own rate at start
};

// Whether this command line opens the window. Decided on the raw arguments, before any
// application object exists: the batch mode, --help, --version and usage errors in long
// options must run with no display.
[[nodiscard]] bool wantsWindow(int argc, char** argv);

// Reads the command line of the running application. --help and --version print and end
// the process, as do usage errors (with a message and a non-zero status).
[[nodiscard]] Invocation readCommandLine(const QCoreApplication& application, int argc, char** argv);

}  // namespace kelvora::cli
