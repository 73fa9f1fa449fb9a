#pragma once

// The real main window with a scripted user at its dialogs: what the window benchmarks and
// the scale driver time. On Qt's xcb platform unless QT_QPA_PLATFORM names another: the
// scripts run it under Xvfb, so the window pays for painting as users see it. Make one per
// process, after any fork.

#include "app/fMain.h"
#include "tests/support/app/ScriptedServices.h"

#include <QApplication>
#include <filesystem>
#include <memory>

namespace kelvora::bench {

class BenchWindow {
public:
    BenchWindow();
    ~BenchWindow();
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    [[nodiscard]] app::fMain& window() { return *m_window; }
    // Shows the window and waits until the display has painted it.
    [[nodiscard]] bool showOnScreen();
    // "Aggiungi BMP" with "Tutta la cartella" checked, the dialog answering `anyFrame`;
    // the number of entries afterwards.
    [[nodiscard]] int addFolder(const std::filesystem::path& anyFrame);
    // "Salva file AVI", the dialog answering `output`; true when the window reports success.
    [[nodiscard]] bool save(const std::filesystem::path& output);
    [[nodiscard]] std::size_t messagesShown() const { return m_messages.shown.size(); }

private:
    int m_argc = 1;
    char m_name[16] = "kelvora-bench";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
    testsupport::ScriptedMessageBox m_messages;
    testsupport::ScriptedCommonDialogs m_dialogs;
    std::unique_ptr<app::fMain> m_window;
};

}  // namespace kelvora::bench
