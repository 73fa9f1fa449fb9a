#pragma once

// Files and folders named outside the open dialog (dropped on the list, given on the command
// line) turned into the candidates "Aggiungi BMP" would take from them. QtCore only.

#include "adding/NumberGaps.h"

#include <QMimeData>
#include <QStringList>
#include <functional>

namespace kelvora::adding {

// A folder stands for its picture files of the type most of them have (BMP, PNG or JPEG), as
// "Tutta la cartella" takes them for a file of that type (natural order); any other path
// stands for itself, so a missing or foreign file meets the usual checks and
// messages. The items keep their given order.
[[nodiscard]] QStringList frameCandidates(const QStringList& items);
// The same, each candidate handed to `take` in turn; `gaps`, when given, learns the folders' names.
void forEachFrameCandidate(const QStringList& items, const std::function<void(const QString&)>& take,
                           NumberGaps* gaps = nullptr);

// The local files and folders of a drop, in natural order; empty when it carries none.
[[nodiscard]] QStringList droppedItems(const QMimeData& data);

}  // namespace kelvora::adding
