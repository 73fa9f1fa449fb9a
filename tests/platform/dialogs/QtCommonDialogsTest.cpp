#include "platform/dialogs/QtCommonDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>

namespace kelvora::platform {
namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QApplication>(m_argc, m_argv.data()); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "dialogs-test";
    std::array<char*, 2> m_argv{m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

// QFileDialog::accept is protected; through QDialog it still runs the file dialog's own
// checks (existence, default suffix, overwrite).
void acceptDialog(QDialog& dialog)
{
    dialog.accept();
}

// Runs action on the modal file dialog as soon as exec() shows it.
void onModalFileDialog(std::function<void(QFileDialog&)> action, int attemptsLeft = 300)
{
    QTimer::singleShot(10, [action = std::move(action), attemptsLeft]() mutable {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            action(*dialog);
        } else if (attemptsLeft > 0) {
            onModalFileDialog(std::move(action), attemptsLeft - 1);
        }
    });
}

// Calls check every 20 ms until it is true or about three seconds have passed, then done.
void pollThen(std::function<bool()> check, std::function<void(bool)> done, int attemptsLeft = 150)
{
    if (check() || attemptsLeft == 0) {
        done(attemptsLeft > 0 || check());
        return;
    }
    QTimer::singleShot(20, [check = std::move(check), done = std::move(done), attemptsLeft]() mutable {
        pollThen(std::move(check), std::move(done), attemptsLeft - 1);
    });
}

class RealDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        m_savedCwd = std::filesystem::current_path();
        for (const char* name : {"a.bmp", "c.bmp", "b.dib"}) {
            QImage image(64, 48, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            ASSERT_TRUE(image.save(m_folder.filePath(name), "BMP"));
        }
        m_folderUtf8 = QDir(m_folder.path()).canonicalPath().toUtf8();
        m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        m_ofn.lpstrFilter = kFilters;
        m_ofn.nFilterIndex = 1;
        m_ofn.lpstrFile = m_file.data();
        m_ofn.nMaxFile = static_cast<DWORD>(m_file.size());
        m_ofn.lpstrFileTitle = m_title.data();
        m_ofn.nMaxFileTitle = static_cast<DWORD>(m_title.size());
        m_ofn.lpstrInitialDir = m_folderUtf8.constData();
        m_ofn.lpstrTitle = "Scegli una cartella contenente file BMP...";
        m_ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    }
    void TearDown() override { std::filesystem::current_path(m_savedCwd); }

    [[nodiscard]] QString inFolder(const char* name) const { return QString::fromUtf8(m_folderUtf8) + '/' + name; }

    static constexpr const char* kFilters = "BMP Files\0*.bmp\0DIB Files\0*.dib\0";
    QTemporaryDir m_folder;
    QByteArray m_folderUtf8;
    std::filesystem::path m_savedCwd;
    std::array<char, 1024> m_file{};
    std::array<char, 512> m_title{};
    OPENFILENAMEA m_ofn{};
    QtCommonDialogs m_dialogs;
};

TEST_F(RealDialogTest, ConfirmedOpenReturnsPathTitleFilterAndEntersTheFolder)
{
    QStringList shownFilters;
    QString shownTitle;
    QFileDialog::FileMode mode{};
    onModalFileDialog([&](QFileDialog& dialog) {
        shownFilters = dialog.nameFilters();
        shownTitle = dialog.windowTitle();
        mode = dialog.fileMode();
        dialog.selectNameFilter("DIB Files (*.dib)");
        dialog.selectFile("b.dib");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(shownFilters, QStringList({"BMP Files (*.bmp)", "DIB Files (*.dib)"}));
    EXPECT_EQ(shownTitle, "Scegli una cartella contenente file BMP...");
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("b.dib"));
    EXPECT_STREQ(m_title.data(), "b.dib");
    EXPECT_EQ(m_ofn.nFilterIndex, 2u);
    EXPECT_EQ(m_ofn.nFileOffset, m_folderUtf8.size() + 1);
    EXPECT_EQ(m_ofn.Flags, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(m_folderUtf8.toStdString()));
}

TEST_F(RealDialogTest, NoChangeDirKeepsTheCurrentFolder)
{
    m_ofn.Flags |= OFN_NOCHANGEDIR;
    onModalFileDialog([](QFileDialog& dialog) {
        dialog.selectFile("a.bmp");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(std::filesystem::current_path(), m_savedCwd);
}

TEST_F(RealDialogTest, CancelReturnsZeroAndLeavesBuffersAndFolder)
{
    std::memcpy(m_file.data(), "proposed.bmp", 13);
    QString proposed;
    onModalFileDialog([&](QFileDialog& dialog) {
        proposed = dialog.findChild<QLineEdit*>("fileNameEdit")->text();
        dialog.reject();
    });
    EXPECT_EQ(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(proposed, "proposed.bmp");
    EXPECT_STREQ(m_file.data(), "proposed.bmp");
    EXPECT_EQ(m_title[0], '\0');
    EXPECT_EQ(std::filesystem::current_path(), m_savedCwd);
}

TEST_F(RealDialogTest, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing)
{
    m_ofn.lpstrFilter = "AVI Files\0*.avi\0";
    m_ofn.lpstrDefExt = "avi";
    m_ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    bool confirmsOverwrite = false;
    QFileDialog::AcceptMode acceptMode{};
    onModalFileDialog([&](QFileDialog& dialog) {
        confirmsOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        acceptMode = dialog.acceptMode();
        dialog.selectFile("il_mio_filmato");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetSaveFileNameA(m_ofn), 0);
    EXPECT_TRUE(confirmsOverwrite);
    EXPECT_EQ(acceptMode, QFileDialog::AcceptSave);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("il_mio_filmato.avi"));
    EXPECT_STREQ(m_title.data(), "il_mio_filmato.avi");
    EXPECT_EQ(m_ofn.nFilterIndex, 1u);
    EXPECT_EQ(m_ofn.Flags, OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
    EXPECT_EQ(std::filesystem::current_path(), m_savedCwd);
}

TEST_F(RealDialogTest, SaveWithAnotherExtensionReportsIt)
{
    m_ofn.lpstrDefExt = "avi";
    m_ofn.Flags = OFN_HIDEREADONLY;
    onModalFileDialog([](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        dialog.selectFile("video.mkv");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetSaveFileNameA(m_ofn), 0);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("video.mkv"));
    EXPECT_EQ(m_ofn.Flags & OFN_EXTENSIONDIFFERENT, OFN_EXTENSIONDIFFERENT);
}

TEST_F(RealDialogTest, PathLongerThanTheBufferFailsWithoutWritingPastIt)
{
    std::array<char, 12> small{};
    small.fill('x');
    m_ofn.lpstrFile = small.data();
    m_ofn.nMaxFile = static_cast<DWORD>(small.size());
    onModalFileDialog([](QFileDialog& dialog) {
        dialog.selectFile("a.bmp");
        acceptDialog(dialog);
    });
    EXPECT_EQ(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(std::string(small.data(), small.size()), std::string(12, 'x'));
    EXPECT_EQ(std::filesystem::current_path(), m_savedCwd);
}

TEST_F(RealDialogTest, MultiSelectWritesFolderThenEachName)
{
    m_ofn.Flags |= OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    onModalFileDialog([](QFileDialog& dialog) {
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFiles);
        dialog.findChild<QLineEdit*>("fileNameEdit")->setText("\"a.bmp\" \"c.bmp\"");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    const QByteArray expected = m_folderUtf8 + QByteArray("\0a.bmp\0c.bmp\0\0", 14);
    EXPECT_EQ(QByteArray(m_file.data(), expected.size()), expected);
    EXPECT_EQ(m_ofn.nFileOffset, m_folderUtf8.size() + 1);
}

TEST_F(RealDialogTest, PreviewPaneShowsTheCurrentPicture)
{
    bool previewShown = false;
    onModalFileDialog([&](QFileDialog& dialog) {
        auto* pane = dialog.findChild<QLabel*>("previewPane");
        if (pane == nullptr) {
            ADD_FAILURE() << "no preview pane";
            dialog.reject();
            return;
        }
        dialog.selectFile("a.bmp");
        pollThen([pane] { return !pane->pixmap().isNull(); },
                 [&, pane, dialogPtr = &dialog](bool shown) {
                     previewShown = shown && pane->pixmap().width() <= 160 && pane->pixmap().height() <= 120;
                     acceptDialog(*dialogPtr);
                 });
    });
    ASSERT_NE(m_dialogs.GetOpenFileNamePreviewA(m_ofn), 0);
    EXPECT_TRUE(previewShown);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("a.bmp"));
}

TEST_F(RealDialogTest, ReadOnlyBoxShowsAndReportsItsState)
{
    m_ofn.Flags = OFN_READONLY;
    bool shownTicked = false;
    onModalFileDialog([&](QFileDialog& dialog) {
        auto* box = dialog.findChild<QCheckBox*>("readOnlyBox");
        if (box == nullptr) {
            ADD_FAILURE() << "no read-only box";
            dialog.reject();
            return;
        }
        shownTicked = box->isChecked();
        box->setChecked(false);
        dialog.selectFile("a.bmp");
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_TRUE(shownTicked);
    EXPECT_EQ(m_ofn.Flags & OFN_READONLY, 0u);
}

TEST_F(RealDialogTest, DialogIsParentedToTheOwnerWindow)
{
    QWidget owner;
    owner.show();
    m_ofn.hwndOwner = static_cast<HWND>(owner.winId());
    QWidget* parent = nullptr;
    onModalFileDialog([&](QFileDialog& dialog) {
        parent = dialog.parentWidget();
        dialog.reject();
    });
    EXPECT_EQ(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(parent, &owner);
}

TEST_F(RealDialogTest, MalformedRequestFailsWithoutADialog)
{
    m_ofn.lStructSize = sizeof(OPENFILENAMEA);
    EXPECT_EQ(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    m_ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    m_ofn.lpstrFile = nullptr;
    EXPECT_EQ(m_dialogs.GetSaveFileNameA(m_ofn), 0);
}

struct TitleCase {
    const char* name;
    const char* path;
    WORD bufferSize;
    short result;
    const char* title;
};

class FileTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(FileTitleTest, TitlesThePath)
{
    QtCommonDialogs dialogs;
    std::array<char, 64> buffer{};
    EXPECT_EQ(dialogs.GetFileTitleA(GetParam().path, buffer.data(), GetParam().bufferSize), GetParam().result);
    EXPECT_STREQ(buffer.data(), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FileTitleTest,
    ::testing::Values(TitleCase{"FullPath", "/home/anna/frame01.bmp", 64, 0, "frame01.bmp"},
                      TitleCase{"BareName", "frame01.bmp", 64, 0, "frame01.bmp"},
                      TitleCase{"Empty", "", 64, -1, ""},
                      TitleCase{"EndsWithSeparator", "/home/anna/", 64, -1, ""},
                      TitleCase{"BufferTooSmallGivesTheSizeNeeded", "/x/frame01.bmp", 5, 12, ""},
                      TitleCase{"ExactFit", "/x/frame01.bmp", 12, 0, "frame01.bmp"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::platform
