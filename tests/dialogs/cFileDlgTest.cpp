#include "dialogs/cFileDlg.h"

#include "platform/shell/ShellFolders.h"
#include "tests/support/dialogs/ScriptedCommonDialogs.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace kelvora::dialogs {
namespace {

using namespace kelvora::platform;
using kelvora::testsupport::DialogAnswer;
using kelvora::testsupport::ScriptedCommonDialogs;

const QString kOneNul(QChar(u'\0'));

std::string bytes(const char* text, std::size_t size) { return std::string(text, size); }

bool runKind(cFileDlg& dlg, FileDialogKind call, QString& filename, QString& title)
{
    switch (call) {
    case FileDialogKind::Open:
        return dlg.VBGetOpenFileName(filename, title);
    case FileDialogKind::OpenWithPreview:
        return dlg.VBGetOpenFileNamePreview(filename, title);
    case FileDialogKind::Save:
        return dlg.VBGetSaveFileName(filename, title);
    }
    return false;
}

bool runKind(cFileDlg& dlg, FileDialogKind call)
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
    FileDialogKind call;
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
    EXPECT_EQ(dialogs.last().kind, GetParam().call);
    EXPECT_EQ(dialogs.last().record.Flags, GetParam().expected);
}

const auto kNoChange = [](cFileDlg&) {};

INSTANTIATE_TEST_SUITE_P(Runs, FlagCompositionTest,
                         ::testing::Values(FlagCase{"NewOpen", FileDialogKind::Open, kNoChange, 0x1004},
                                           FlagCase{"NewPreview", FileDialogKind::OpenWithPreview, kNoChange, 0x1004},
                                           FlagCase{"NewSave", FileDialogKind::Save, kNoChange, 0x6},
                                           FlagCase{"OpenAllOff", FileDialogKind::Open,
                                                    [](cFileDlg& d) {
                                                        d.setFileMustExist(false);
                                                        d.setHideReadOnly(false);
                                                    },
                                                    0x0},
                                           FlagCase{"OpenMultiSelect", FileDialogKind::Open,
                                                    [](cFileDlg& d) { d.setMultiSelect(true); }, 0x1204},
                                           FlagCase{"OpenHookAndTemplateRemoved", FileDialogKind::Open,
                                                    [](cFileDlg& d) { d.setFlags(0x60); }, 0x1004},
                                           FlagCase{"SaveHookRemovedExplorerKept", FileDialogKind::Save,
                                                    [](cFileDlg& d) { d.setFlags(0x80020); }, 0x80006},
                                           FlagCase{"SaveIgnoresOpenProperties", FileDialogKind::Save,
                                                    [](cFileDlg& d) {
                                                        d.setMultiSelect(true);
                                                        d.setHideReadOnly(false);
                                                        d.setOverwritePrompt(false);
                                                    },
                                                    0x4},
                                           FlagCase{"OpenIgnoresOverwritePrompt", FileDialogKind::Open,
                                                    [](cFileDlg& d) { d.setOverwritePrompt(false); }, 0x1004},
                                           FlagCase{"OpenPassesNoChangeDirFromFlags", FileDialogKind::Open,
                                                    [](cFileDlg& d) { d.setFlags(0x8); }, 0x100C}),
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
    EXPECT_EQ(r.fileBuffer, "il_mio_filmato.avi" + std::string(1024 - 18, '\0'));
    EXPECT_EQ(r.record.nMaxFileTitle, 512u);
    EXPECT_EQ(r.fileTitleBuffer, std::string(512, '\0'));
    EXPECT_FALSE(r.initialDir.has_value());
    EXPECT_FALSE(r.defaultExt.has_value());
    EXPECT_EQ(r.dialogTitle, "KELVORA MAKER");
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
    (void)runKind(dlg, FileDialogKind::Save);
    EXPECT_EQ(dialogs.last().dialogTitle, "Scegli una cartella contenente file BMP... \xC3\xA8");
    EXPECT_EQ(dialogs.last().initialDir, "/tmp/citt\xC3\xA0");
    EXPECT_EQ(dialogs.last().defaultExt, "avi");
}

TEST_F(FileDlgTest, OwnerMinusOneIsNoOwnerAndAnyOtherValuePassesUnchanged)
{
    for (const std::int32_t owner : {-1, 0, 4711, -7}) {
        dlg.setOwnerHwnd(owner);
        (void)runKind(dlg, FileDialogKind::Open);
        EXPECT_EQ(dialogs.last().record.hwndOwner, owner == -1 ? 0 : static_cast<HWND>(owner)) << owner;
    }
}

TEST_F(FileDlgTest, FileNameFillingTheWholeBufferRuns)
{
    QString filename(1024, u'a');
    QString title(512, u't');
    EXPECT_FALSE(dlg.VBGetOpenFileName(filename, title));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.last().fileBuffer, std::string(1024, 'a'));
    EXPECT_EQ(dialogs.last().fileTitleBuffer, std::string(512, 't'));
    EXPECT_EQ(dlg.lastRunError(), cFileDlg::RunError::None);
}

struct TooLongCase {
    const char* name;
    QString filename;
    QString title;
    QString filter = "BMP Files|*.bmp";
    cFileDlg::RunError error = cFileDlg::RunError::InvalidArgument;
};

class TooLongArgumentTest : public ::testing::TestWithParam<TooLongCase> {};

TEST_P(TooLongArgumentTest, FailsBeforeTheDialogLeavingEverythingAsItWas)
{
    for (const FileDialogKind call : {FileDialogKind::Open, FileDialogKind::OpenWithPreview, FileDialogKind::Save}) {
        ScriptedCommonDialogs dialogs;
        cFileDlg dlg(dialogs);
        dlg.setFilter(GetParam().filter);
        dlg.setFilterIndex(3);
        dlg.setFlags(0x80000);
        dlg.setInitDirectory("/tmp");
        QString filename = GetParam().filename;
        QString title = GetParam().title;
        EXPECT_FALSE(runKind(dlg, call, filename, title));
        EXPECT_TRUE(dialogs.requests.empty());
        EXPECT_EQ(dlg.lastRunError(), GetParam().error);
        EXPECT_EQ(filename, GetParam().filename);
        EXPECT_EQ(title, GetParam().title);
        EXPECT_EQ(dlg.Filter(), GetParam().filter);
        EXPECT_EQ(dlg.FilterIndex(), 3);
        EXPECT_EQ(dlg.Flags(), 0x80000);
        EXPECT_EQ(dlg.InitDirectory(), "/tmp");
    }
}

INSTANTIATE_TEST_SUITE_P(Buffers, TooLongArgumentTest,
                         ::testing::Values(TooLongCase{"FileName1025", QString(1025, u'a'), QString()},
                                           TooLongCase{"FileTitle513", QString(), QString(513, u't')},
                                           // 600 characters, 1,200 bytes in the narrow form the buffer holds
                                           TooLongCase{"NonAsciiFileNameOverBufferBytes", QString(600, QChar(0xE8)),
                                                       QString()},
                                           TooLongCase{"Filter32767", QString(), QString(),
                                                       QString(32763, u'x') + "|*.x", cFileDlg::RunError::Overflow},
                                           TooLongCase{"Filter40000", QString(), QString(),
                                                       QString(39996, u'x') + "|*.x", cFileDlg::RunError::Overflow}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileDlgTest, AFilterOf32766CharactersIsTheLongestThatRuns)
{
    dlg.setFilter(QString(32762, u'x') + "|*.x");
    (void)runKind(dlg, FileDialogKind::Open);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.last().filterList.size(), 32766u + 2);
    EXPECT_EQ(dlg.lastRunError(), cFileDlg::RunError::None);
}

class CancelTest : public ::testing::TestWithParam<FileDialogKind> {};

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
    EXPECT_EQ(dlg.FilterIndex(), GetParam() == FileDialogKind::Save ? 0 : -1);
    EXPECT_EQ(dlg.InitDirectory(), "/home");
    EXPECT_FALSE(dlg.ReadOnly());
}

INSTANTIATE_TEST_SUITE_P(AllRuns, CancelTest,
                         ::testing::Values(FileDialogKind::Open, FileDialogKind::OpenWithPreview,
                                           FileDialogKind::Save));

TEST_F(FileDlgTest, ConfirmedSaveReturnsPathTitleAndWholeBuffer)
{
    dialogs.answers.push_back({[](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_EXTENSIONDIFFERENT;
        return DialogAnswer::choose("/home/anna/il_mio_filmato.avi", 1).fill(ofn);
    }});
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
    dialogs.answers.push_back(DialogAnswer::choose("/a/b.bmp"));
    QString filename = "/very/long/proposed/name.bmp";
    QString title;
    EXPECT_TRUE(dlg.VBGetOpenFileName(filename, title));
    EXPECT_EQ(filename, "/a/b.bmp");
    const QString expected = QString("/a/b.bmp") + kOneNul + "g/proposed/name.bmp" + QString(1024 - 28, QChar(u'\0'));
    EXPECT_EQ(dlg.InitDirectory(), expected);
}

TEST_F(FileDlgTest, NonAsciiResultComesBackUnchanged)
{
    dialogs.answers.push_back(DialogAnswer::choose("/tmp/citt\xC3\xA0.bmp"));
    QString filename;
    QString title;
    EXPECT_TRUE(dlg.VBGetOpenFileName(filename, title));
    EXPECT_EQ(filename, QString::fromUtf8("/tmp/città.bmp"));
    EXPECT_EQ(title, QString::fromUtf8("città.bmp"));
}

TEST_F(FileDlgTest, SecondFilterConfirmedBecomesTheFilterInForce)
{
    dialogs.answers.push_back(DialogAnswer::choose("/x/frame.dib", 2));
    dlg.setFilter("BMP Files|*.bmp:DIB Files|*.dib");
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_EQ(dialogs.last().filterList, bytes("BMP Files\0*.bmp\0DIB Files\0*.dib\0\0", 33));
    EXPECT_EQ(dlg.FilterIndex(), 2);
    EXPECT_EQ(dlg.Filter(), QString("DIB Files") + kOneNul + "*.dib");

    // The next run offers that one pair; the index stays what the dialog returned.
    dialogs.answers.push_back(DialogAnswer::choose("/x/frame.dib", 2));
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_EQ(dialogs.last().filterList, bytes("DIB Files\0*.dib\0\0", 17));
    EXPECT_EQ(dialogs.last().record.nFilterIndex, 2u);
}

TEST_F(FileDlgTest, ReturnedFlagsStayInForceForLaterRuns)
{
    dialogs.answers.push_back(DialogAnswer::choose("/x/a.bmp"));
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_EQ(dlg.Flags(), 0x1004);
    dlg.setFileMustExist(false);
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_EQ(dialogs.last().record.Flags, 0x1004u);
}

TEST_F(FileDlgTest, ReadOnlyOnceReportedStaysTrue)
{
    dialogs.answers.push_back({[](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_READONLY;
        return DialogAnswer::choose("/x/a.bmp").fill(ofn);
    }});
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_TRUE(dlg.ReadOnly());

    dialogs.answers.push_back({[](OPENFILENAMEA& ofn) {
        ofn.Flags = 0;
        return DialogAnswer::choose("/x/a.bmp").fill(ofn);
    }});
    dlg.setFlags(0);
    (void)runKind(dlg, FileDialogKind::OpenWithPreview);
    EXPECT_EQ(dialogs.last().record.Flags & OFN_READONLY, OFN_READONLY);
    EXPECT_TRUE(dlg.ReadOnly());
    (void)runKind(dlg, FileDialogKind::Open);  // cancelled
    EXPECT_TRUE(dlg.ReadOnly());
}

TEST_F(FileDlgTest, SaveNeverReportsReadOnly)
{
    dialogs.answers.push_back({[](OPENFILENAMEA& ofn) {
        ofn.Flags |= OFN_READONLY;
        return DialogAnswer::choose("/x/a.avi").fill(ofn);
    }});
    (void)runKind(dlg, FileDialogKind::Save);
    EXPECT_FALSE(dlg.ReadOnly());
}

TEST_F(FileDlgTest, MultiSelectReturnsTheFolderAndTheNamesThroughInitDirectory)
{
    dialogs.answers.push_back({[](OPENFILENAMEA& ofn) {
        std::memcpy(ofn.lpstrFile, "/x\0a.bmp\0b.bmp\0", 16);
        return BOOL{1};
    }});
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
    (void)runKind(dlg, FileDialogKind::Open);
    EXPECT_FALSE(dialogs.last().initialDir.has_value());
}

TEST_F(FileDlgTest, FileTitleIsEmptyWhenThePlatformCannotTitleThePath)
{
    QString path = QString::fromUtf8("/x/citt\xC3\xA0.bmp");
    EXPECT_EQ(dlg.VBGetFileTitle(path), QString::fromUtf8("citt\xC3\xA0.bmp"));
    QString folder = "/x/";  // the platform has no title for it
    EXPECT_TRUE(dlg.VBGetFileTitle(folder).isEmpty());
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
