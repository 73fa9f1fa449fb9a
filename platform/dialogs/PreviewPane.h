#pragma once

// The preview pane of the open-with-preview dialog: the current file's picture, scaled to
// fit, beside the file list.

class QFileDialog;

namespace kelvora::platform {

inline constexpr int kPreviewPaneWidth = 160;
inline constexpr int kPreviewPaneHeight = 120;

// Adds the pane (a QLabel named "previewPane") to the widget dialog; the dialog owns it.
void attachPreviewPane(QFileDialog& dialog);

}  // namespace kelvora::platform
