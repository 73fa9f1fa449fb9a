#pragma once

// The request's filter list (description NUL pattern NUL ... NUL) as the name filters of
// Qt's file dialog, in order: "BMP Files (*.bmp)".

#include <QStringList>

namespace kelvora::platform {

// lpstrFilter may be null (no filters). A pattern list "*.bmp;*.dib" becomes "*.bmp *.dib";
// an empty pattern offers every file.
[[nodiscard]] QStringList nameFiltersFromList(const char* lpstrFilter);

}  // namespace kelvora::platform
