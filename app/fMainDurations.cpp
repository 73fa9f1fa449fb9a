// "Durata…": how long the selected frames last in the video, in seconds (a point or a comma
// for the decimals); empty or 0 gives them back their one frame. A duration is the entry's
// own (the list's tag, in nanoseconds): it moves, goes and comes back with the entry, and
// each change of it is one step of undo.
#include "app/fMain.h"

#include "platform/msgbox/MessageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QAction>

namespace kelvora::app {

namespace {

QString shownDuration(std::int64_t nanoseconds)
{
    return QString::fromStdString(slideshow::durationText(slideshow::Duration{nanoseconds}));
}

}  // namespace

std::optional<slideshow::Duration> fMain::entryDuration(int index) const
{
    // The store is read, not the model: the save asks from its loading thread.
    const std::int64_t tag = lstDIBList->texts().tag(index);
    return tag > 0 ? std::optional(slideshow::Duration{tag}) : std::nullopt;
}

void fMain::showDurations() { lstDIBList->setTagText(shownDuration); }

void fMain::Durata_Click()
{
    if (busy() || m_services.durations == nullptr)
        return;
    const std::vector<platform::RowRange> selected = lstDIBList->selectedRanges();
    if (selected.empty())
        return;
    stopPlayback();
    // The input starts from the duration of the frame in view, as the list shows it.
    const std::int64_t current = lstDIBList->Tag(lstDIBList->ListIndex());
    const std::optional<QString> typed = m_services.durations->askDuration(
        current > 0 ? shownDuration(current) : QString(), platform::rowsIn(selected), hWnd());
    if (!typed || busy())
        return;
    const slideshow::TypedDuration duration = slideshow::parseTypedDuration(typed->toStdString());
    if (!duration.valid) {
        m_services.messages.MsgBox(QStringLiteral("«%1» non è una durata: scrivi i secondi, per esempio 3 o 2,5 "
                                                  "(vuoto o 0: un solo fotogramma; al massimo un giorno).")
                                       .arg(typed->trimmed())
                                       .toStdString(),
                                   platform::vbInformation, std::string(platform::AppTitle));
        return;
    }
    const std::int64_t tag = duration.duration ? duration.duration->nanoseconds : 0;
    std::vector<TagRun> before = tagRuns(*lstDIBList, selected);
    if (std::ranges::all_of(before, [tag](const TagRun& run) { return run.tag == tag; }))
        return;  // nothing changes: no step of undo for it
    std::vector<TagRun> after;
    for (const platform::RowRange& range : selected)
        after.push_back({range, tag});
    const int shown = lstDIBList->ListIndex();
    ListChange change{{}, {}, {}, m_format, m_format, std::move(before), std::move(after)};
    applyTags(*lstDIBList, change.tagsAfter);
    m_history.record(std::move(change));
    Annulla->setEnabled(true);
    Ripeti->setEnabled(false);
    lstDIBList->selectRanges(selected, shown);
}

}  // namespace kelvora::app
