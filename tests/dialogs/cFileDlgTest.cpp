#include "dialogs/cFileDlg.h"

#include "platform/shell/ShellFolders.h"
#include "tests/dialogs/ScriptedCommonDialogs.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora::dialogs {
namespace {

using namespace kelvora::platform;
using kelvora::testing::DialogCall;
using kelvora::testing::ScriptedCommonDialogs;
using kelvora::testing::writeChoice;

const QString kOneNul(QChar(u'\0'));

QByteArray bytes(const char* text, std::size_t size)
{
    return QByteArray(text, static_cast<qsizetype>(size));
}

bool runKind(cFileDlg& dlg, DialogCall call, QString& filename, QString& title)
{
    switch (call) {
    case DialogCall::Open:
        return dlg.VBGetOpenFileName(filename, title);
    case DialogCall::OpenPreview:
        return dlg.VBGetOpenFileNamePreview(filename, title);
    case DialogCall::Save:
        return dlg.VBGetSaveFileName(filename, title);
    }
    return false;
}

bool runKind(cFileDlg& dlg, DialogCall call)
{
    QString filename;
    QString title;
    return runKind(dlg, call, filename, title);
}

class FileDlgTest : public ::testing::Test {
protected:
    ScriptedCommonDialogs dialogs;
    cFileDlg dlg{dialogs};
};

TEST_F(FileDlgTest, NewObjectHasCreationValues)
{
    EXPECT_EQ(dlg.OwnerHwnd(), -1);
    EXPECT_TRUE(dlg.FileMustExist());
    EXPECT_FALSE(dlg.MultiSelect());
    EXPECT_FALSE(dlg.ReadOnly());
    EXPECT_TRUE(dlg.HideReadOnly());
    EXPECT_TRUE(dlg.Filter().isEmpty());
    EXPECT_EQ(dlg.FilterIndex(), 0);
    EXPECT_TRUE(dlg.InitDirectory().isEmpty());
    EXPECT_EQ(dlg.DlgTitle(), "KELVORA MAKER");
    EXPECT_TRUE(dlg.DefaultExt().isEmpty());
    EXPECT_EQ(dlg.Flags(), 0);
    EXPECT_TRUE(dlg.OverwritePrompt());
}

struct FlagCase {
    const char* name;
    DialogCall call;
    std::function<void(cFileDlg&)> setUp;
    DWORD expected;
};

class FlagCompositionTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagCompositionTest, ReachesTheDialog)
{
    ScriptedCommonDialogs dialogs;
    cFileDlg dlg(dialogs);
    GetParam().setUp(dlg);
    (void)runKind(dlg, GetParam().call);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.last().call, GetParam().call);
    EXPECT_EQ(dialogs.last().record.Flags, GetParam().expected);
}

const auto kNoChange = [](cFileDlg&) {};

INSTANTIATE_TEST_SUITE_P(
    Runs, FlagCompositionTest,
    ::testing::Values(
        FlagCase{"NewOpen", DialogCall::Open, kNoChange, 0x1004},
        FlagCase{"NewPreview", DialogCall::OpenPreview, kNoChange, 0x1004},
        FlagCase{"NewSave", DialogCall::Save, kNoChange, 0x6},
        FlagCase{"OpenAllOff", DialogCall::Open,
                 [](cFileDlg& d) { d.setFileMustExist(false); d.setHideReadOnly(false); }, 0x0},
        FlagCase{"OpenMultiSelect", DialogCall::Open, [](cFileDlg& d) { d.setMultiSelect(true); }, 0x1204},
        FlagCase{"OpenHookAndTemplateRemoved", DialogCall::Open, [](cFileDlg& d) { d.setFlags(0x60); }, 0x1004},
        FlagCase{"SaveHookRemovedExplorerKept", DialogCall::Save, [](cFileDlg& d) { d.setFlags(0x80020); }, 0x80006},
        FlagCase{"SaveIgnoresOpenProperties", DialogCall::Save,
                 [](cFileDlg& d) {
                     d.setMultiSelect(true);
                     d.setHideReadOnly(false);
                     d.setOverwritePrompt(false);
                 },
                 0x4},
        FlagCase{"OpenIgnoresOverwritePrompt", DialogCall::Open, [](cFileDlg& d) { d.setOverwritePrompt(false); },
                 0x1004},
        FlagCase{"OpenPassesNoChangeDirFromFlags", DialogCall::Open, [](cFileDlg& d) { d.setFlags(0x8); }, 0x100C}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileDlgTest, RecordOfANewObjectHasSizeBuffersAndAbsentTexts)
{
    QString filename = "il_mio_filmato.avi";
    QString title;
    dlg.setFilter("AVI Files|*.avi");
    (void)dlg.VBGetSaveFileName(filename, title);
    const auto& r = dialogs.last();
    EXPECT_EQ(r.record.lStructSize, 76u);
    EXPECT_EQ(r.record.hwndOwner, 0);
    EXPECT_EQ(r.filterList, bytes("AVI Files\0*.avi\0\0", 17));
    EXPECT_EQ(r.record.nFilterIndex, 0u);
    EXPECT_EQ(r.record.nMaxFile, 1024u);
    EXPECT_EQ(r.file, QByteArray("il_mio_filmato.avi") + QByteArray(1024 - 18, '\0'));
    EXPECT_EQ(r.record.nMaxFileTitle, 512u);
    EXPECT_EQ(r.title, QByteArray(512, '\0'));
    EXPECT_FALSE(r.initialDir.has_value());
    EXPECT_FALSE(r.defaultExt.has_value());
    EXPECT_EQ(r.dialogTitle, QByteArray("KELVORA MAKER"));
    EXPECT_EQ(r.record.hInstance, 0);
    EXPECT_EQ(r.record.lpstrCustomFilter, nullptr);
    EXPECT_EQ(r.record.lpfnHook, nullptr);
    EXPECT_EQ(r.record.lpTemplateName, nullptr);
}

TEST_F(FileDlgTest, TextsReachTheDialogAsUtf8)
{
    dlg.setDlgTitle(QString::fromUtf8("Scegli una cartella contenente file BMP... è"));
    dlg.setInitDirectory(QString::fromUtf8("/tmp/città"));
    dlg.setDefaultExt("avi");
    (void)runKind(dlg, DialogCall::Save);
    EXPECT_EQ(dialogs.last().dialogTitle, QByteArray("Scegli una cartella contenente file BMP... \xC3\xA8"));
    EXPECT_EQ(dialogs.last().initialDir, QByteArray("/tmp/citt\xC3\xA0"));
    EXPECT_EQ(dialogs.last().defaultExt, QByteArray("avi"));
}

TEST_F(FileDlgTest, OwnerMinusOneIsNoOwnerAndAnyOtherValuePassesUnchanged)
{
    for (const std::int32_t owner : {-1, 0, 4711, -7}) {
        dlg.setOwnerHwnd(owner);
        (void)runKind(dlg, DialogCall::Open);
        EXPECT_EQ(dialogs.last().record.hwndOwner, owner == -1 ? 0 : static_cast<HWND>(owner)) << owner;
    }
}

TEST_F(FileDlgTest, FileNameFillingTheWholeBufferRuns)
{
    QString filename(1024, u'a');
    QString title(512, u't');
    EXPECT_FALSE(dlg.VBGetOpenFileName(filename, title));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.last().file, QByteArray(1024, 'a'));
    EXPECT_EQ(dialogs.last().title, QByteArray(512, 't'));
    EXPECT_EQ(dlg.lastRunError(), cFileDlg::RunError::None);
}

struct TooLongCase {
    const char* name;
    QString filename;
    QString title;
};

class TooLongArgumentTest : public ::testing::TestWithParam<TooLongCase> {};

TEST_P(TooLongArgumentTest, FailsBeforeTheDialogLeavingEverythingAsItWas)
{
    for (const DialogCall call : {DialogCall::Open, DialogCall::OpenPreview, DialogCall::Save}) {
        ScriptedCommonDialogs dialogs;
        cFileDlg dlg(dialogs);
        dlg.setFilter("BMP Files|*.bmp");
        dlg.setFilterIndex(3);
        dlg.setFlags(0x80000);
        dlg.setInitDirectory("/tmp");
        QString filename = GetParam().filename;
        QString title = GetParam().title;
        EXPECT_FALSE(runKind(dlg, call, filename, title));
        EXPECT_TRUE(dialogs.requests.empty());
        EXPECT_EQ(dlg.lastRunError(), cFileDlg::RunError::InvalidArgument);
        EXPECT_EQ(filename, GetParam().filename);
        EXPECT_EQ(title, GetParam().title);
        EXPECT_EQ(dlg.Filter(), "BMP Files|*.bmp");
        EXPECT_EQ(dlg.FilterIndex(), 3);
        EXPECT_EQ(dlg.Flags(), 0x80000);
        EXPECT_EQ(dlg.InitDirectory(), "/tmp");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, TooLongArgumentTest,
    ::testing::Values(TooLongCase{"FileName1025", QString(1025, u'a'), QString()},
                      TooLongCase{"FileTitle513", QString(), QString(513, u't')},
                      // 600 characters, 1,200 bytes in the narrow form the buffer holds
                      TooLongCase{"NonAsciiFileNameOverBufferBytes", QString(600, QChar(0xE8)), QString()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileDlgTest, LongFilterRunsAtAnyLength)
{
    dlg.setFilter(QString(40000, u'x') + "|*.x");
    (void)runKind(dlg, DialogCall::Open);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.last().filterList.size(), 40000 + 1 + 3 + 2);
}

class CancelTest : public ::testing::TestWithParam<DialogCall> {};

TEST_P(CancelTest, ResetsResultsAndKeepsInitDirectory)
{
    ScriptedCommonDialogs dialogs;
    cFileDlg dlg(dialogs);
    dlg.setFilter("BMP Files|*.bmp:DIB Files|*.dib");
    dlg.setFilterIndex(2);
    dlg.setFlags(0x80000);
    dlg.setInitDirectory("/home");
    QString filename = "proposed.bmp";
    QString title = "proposed";
    EXPECT_FALSE(runKind(dlg, GetParam(), filename, title));
    EXPECT_EQ(filename, kOneNul);
    EXPECT_EQ(title, kOneNul);
    EXPECT_EQ(dlg.Filter(), kOneNul);
    EXPECT_EQ(dlg.Flags(), 0);
    EXPECT_EQ(dlg.FilterIndex(), GetParam() == DialogCall::Save ? 0 : -1);
    EXPECT_EQ(dlg.InitDirectory(), "/home");
    EXPECT_FALSE(dlg.ReadOnly());
}

INSTANTIATE_TEST_SUITE_P(AllRuns, CancelTest,
                         ::testing::Values(DialogCall::Open, DialogCall::OpenPreview, DialogCall::Save));

TEST_F(FileDlgTest, ConfirmedSaveReturnsPathTitleAndWholeBuffer)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_EXTENSIONDIFFERENT;
        ofn.nFilterIndex = 1;
        return writeChoice(ofn, "/home/anna/il_mio_filmato.avi", "il_mio_filmato.avi");
    };
    dlg.setFilter("AVI Files|*.avi");
    QString filename = "il_mio_filmato.avi";
    QString title;
    EXPECT_TRUE(dlg.VBGetSaveFileName(filename, title));
    EXPECT_EQ(filename, "/home/anna/il_mio_filmato.avi");
    EXPECT_EQ(title, "il_mio_filmato.avi");
    EXPECT_EQ(dlg.Flags(), 0x406);
    EXPECT_EQ(dlg.Filter(), QString("AVI Files") + kOneNul + "*.avi");
    EXPECT_EQ(dlg.FilterIndex(), 1);
    const QString whole = dlg.InitDirectory();
    EXPECT_EQ(whole.size(), 1024);
    EXPECT_TRUE(whole.startsWith("/home/anna/il_mio_filmato.avi" + kOneNul));
}

TEST_F(FileDlgTest, InitDirectoryKeepsTheTailOfALongerProposedName)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) { return writeChoice(ofn, "/a/b.bmp", "b.bmp"); };
    QString filename = "/very/long/proposed/name.bmp";
    QString title;
    EXPECT_TRUE(dlg.VBGetOpenFileName(filename, title));
    EXPECT_EQ(filename, "/a/b.bmp");
    const QString expected = QString("/a/b.bmp") + kOneNul + "g/proposed/name.bmp" + QString(1024 - 28, QChar(u'\0'));
    EXPECT_EQ(dlg.InitDirectory(), expected);
}

TEST_F(FileDlgTest, NonAsciiResultComesBackUnchanged)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) { return writeChoice(ofn, "/tmp/citt\xC3\xA0.bmp", "citt\xC3\xA0.bmp"); };
    QString filename;
    QString title;
    EXPECT_TRUE(dlg.VBGetOpenFileName(filename, title));
    EXPECT_EQ(filename, QString::fromUtf8("/tmp/città.bmp"));
    EXPECT_EQ(title, QString::fromUtf8("città.bmp"));
}

TEST_F(FileDlgTest, SecondFilterConfirmedBecomesTheFilterInForce)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) {
        ofn.nFilterIndex = 2;
        return writeChoice(ofn, "/x/frame.dib", "frame.dib");
    };
    dlg.setFilter("BMP Files|*.bmp:DIB Files|*.dib");
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_EQ(dialogs.last().filterList, bytes("BMP Files\0*.bmp\0DIB Files\0*.dib\0\0", 33));
    EXPECT_EQ(dlg.FilterIndex(), 2);
    EXPECT_EQ(dlg.Filter(), QString("DIB Files") + kOneNul + "*.dib");

    // The next run offers that one pair; the index stays what the dialog returned.
    dialogs.answer = [](OPENFILENAMEA& ofn) { return writeChoice(ofn, "/x/frame.dib", "frame.dib"); };
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_EQ(dialogs.last().filterList, bytes("DIB Files\0*.dib\0\0", 17));
    EXPECT_EQ(dialogs.last().record.nFilterIndex, 2u);
}

TEST_F(FileDlgTest, ReturnedFlagsStayInForceForLaterRuns)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) { return writeChoice(ofn, "/x/a.bmp", "a.bmp"); };
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_EQ(dlg.Flags(), 0x1004);
    dlg.setFileMustExist(false);
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_EQ(dialogs.last().record.Flags, 0x1004u);
}

TEST_F(FileDlgTest, ReadOnlyOnceReportedStaysTrue)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_READONLY;
        return writeChoice(ofn, "/x/a.bmp", "a.bmp");
    };
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_TRUE(dlg.ReadOnly());

    dialogs.answer = [](OPENFILENAMEA& ofn) {
        ofn.Flags = 0;
        return writeChoice(ofn, "/x/a.bmp", "a.bmp");
    };
    dlg.setFlags(0);
    (void)runKind(dlg, DialogCall::OpenPreview);
    EXPECT_EQ(dialogs.last().record.Flags & OFN_READONLY, OFN_READONLY);
    EXPECT_TRUE(dlg.ReadOnly());
    (void)runKind(dlg, DialogCall::Open);  // cancelled
    EXPECT_TRUE(dlg.ReadOnly());
}

TEST_F(FileDlgTest, SaveNeverReportsReadOnly)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_READONLY;
        return writeChoice(ofn, "/x/a.avi", "a.avi");
    };
    (void)runKind(dlg, DialogCall::Save);
    EXPECT_FALSE(dlg.ReadOnly());
}

TEST_F(FileDlgTest, MultiSelectReturnsTheFolderAndTheNamesThroughInitDirectory)
{
    dialogs.answer = [](OPENFILENAMEA& ofn) {
        std::memcpy(ofn.lpstrFile, "/x\0a.bmp\0b.bmp\0", 16);
        return BOOL{1};
    };
    dlg.setMultiSelect(true);
    QString filename;
    QString title;
    EXPECT_TRUE(dlg.VBGetOpenFileName(filename, title));
    EXPECT_EQ(filename, "/x");
    EXPECT_TRUE(dlg.InitDirectory().startsWith(QString::fromLatin1("/x\0a.bmp\0b.bmp\0\0", 16)));
}

TEST_F(FileDlgTest, SpecialFolderReplacesInitDirectory)
{
    dlg.setInitDirectory("/somewhere");
    dlg.setInitDirectorySpecial(CSIDL_PROFILE);
    EXPECT_EQ(dlg.InitDirectory(), QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    dlg.setInitDirectorySpecial(0x7ABC);  // no such folder
    EXPECT_TRUE(dlg.InitDirectory().isEmpty());
    dlg.setInitDirectory("/somewhere");
    dlg.setInitDirectorySpecial(CSIDL_DRIVES);  // known, but no file-system path
    EXPECT_TRUE(dlg.InitDirectory().isEmpty());
    (void)runKind(dlg, DialogCall::Open);
    EXPECT_FALSE(dialogs.last().initialDir.has_value());
}

TEST_F(FileDlgTest, FileTitleIsEmptyWhenThePlatformCannotTitleThePath)
{
    QString path = "/x/a.bmp";
    EXPECT_EQ(dlg.VBGetFileTitle(path), "title");
    dialogs.fileTitleResult = -1;
    EXPECT_TRUE(dlg.VBGetFileTitle(path).isEmpty());
}

TEST_F(FileDlgTest, ExistFileIsTrueOnlyForAFileThatCanBeMeasured)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QFile file(folder.filePath("a.bmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(dlg.ExistFile(folder.filePath("a.bmp")));
    EXPECT_FALSE(dlg.ExistFile(folder.filePath("missing.bmp")));
    EXPECT_FALSE(dlg.ExistFile(folder.path()));
    EXPECT_FALSE(dlg.ExistFile(QString()));
}

}  // namespace
}  // namespace kelvora::dialogs
