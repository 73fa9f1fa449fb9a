#include "platform/dialogs/QtCommonDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
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
void acceptDialog(QDialog& dialog) { dialog.accept(); }

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

// What a modal message box showed, and whether one showed at all.
struct SeenBox {
    bool seen = false;
    QString text;
    QString title;
    QWidget* parent = nullptr;
};

// Answers the next modal message box with `button` (or closes it when it has none), so a
// box that should not appear fails the test instead of hanging it. The watch ends with
// `dialog`, which outlives the box.
void onModalMessageBox(QFileDialog& dialog, SeenBox& seen, QMessageBox::StandardButton button = QMessageBox::Ok,
                       int attemptsLeft = 300)
{
    QTimer::singleShot(10, &dialog, [&dialog, &seen, button, attemptsLeft] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (attemptsLeft > 0) {
                onModalMessageBox(dialog, seen, button, attemptsLeft - 1);
            }
            return;
        }
        seen = {true, box->text(), box->windowTitle(), box->parentWidget()};
        if (QAbstractButton* answer = box->button(button)) {
            answer->click();
        } else {
            box->reject();
        }
    });
}

// As a user types: into the focused name box, which Qt then leaves as typed.
void typeName(QFileDialog& dialog, const QString& name)
{
    auto* nameBox = dialog.findChild<QLineEdit*>("fileNameEdit");
    QApplication::setActiveWindow(&dialog);
    nameBox->setFocus();
    nameBox->setText(name);
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

// A file whose name holds a quote opens as it is, even where Qt's several-names reading of
// the name box would give another existing file (here a.bmp).
TEST_F(RealDialogTest, OpenReturnsAnExistingFileWhoseNameHoldsAQuote)
{
    {
        QFile file(m_folder.filePath("x\"a.bmp"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    SeenBox box;
    onModalFileDialog([&](QFileDialog& dialog) {
        typeName(dialog, "x\"a.bmp");
        onModalMessageBox(dialog, box);
        acceptDialog(dialog);
        if (dialog.isVisible())
            dialog.reject();
    });
    ASSERT_NE(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_FALSE(box.seen) << box.text.toStdString();
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("x\"a.bmp"));
    EXPECT_STREQ(m_title.data(), "x\"a.bmp");
}

// A choice the dialog cannot return as confirmed: the user is told by a box the dialog owns,
// the dialog stays open, and a plain name typed afterwards is what comes back.
struct RefusedCase {
    const char* name;
    bool save;
    std::function<QString(const QString& other)> typed;  // other: a second folder
    const char* message;
    std::function<QByteArray(const QByteArray& folder)> deepFolder;  // empty: the test folder
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

QByteArray makeDeepFolder(const QByteArray& folder)
{
    QByteArray deep = folder;
    for (int i = 0; i < 5; ++i) {
        deep += '/' + QByteArray(200, static_cast<char>('k' + i));
    }
    std::filesystem::create_directories(deep.toStdString());
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(QString::fromUtf8(deep + "/a.bmp"), "BMP");
    return deep;
}

class RefusedChoice : public RealDialogTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedChoice, IsToldAndTheDialogStaysOpen)
{
    const RefusedCase& c = GetParam();
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    const QString otherFile = other.filePath("y.avi");
    {
        QFile file(otherFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    QByteArray shownFolder = m_folderUtf8;
    if (c.deepFolder) {
        shownFolder = c.deepFolder(m_folderUtf8);
        m_ofn.lpstrInitialDir = shownFolder.constData();
    }
    if (c.save) {
        m_ofn.lpstrFilter = "AVI Files\0*.avi\0";
        m_ofn.lpstrDefExt = "avi";
        m_ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    }
    const QString plain = inFolder(c.save ? "plain.avi" : "c.bmp");
    SeenBox box;
    bool openAfterTheBox = false;
    QFileDialog* shown = nullptr;
    onModalFileDialog([&](QFileDialog& dialog) {
        shown = &dialog;
        typeName(dialog, c.typed(QDir(other.path()).canonicalPath()));
        onModalMessageBox(dialog, box);
        acceptDialog(dialog);
        openAfterTheBox = dialog.isVisible();
        typeName(dialog, plain);
        onModalMessageBox(dialog, box);  // closes a replace prompt, should one wrongly appear
        acceptDialog(dialog);
    });
    const BOOL confirmed = c.save ? m_dialogs.GetSaveFileNameA(m_ofn) : m_dialogs.GetOpenFileNameA(m_ofn);
    EXPECT_TRUE(box.seen);
    EXPECT_EQ(box.text, QString::fromUtf8(c.message));
    EXPECT_EQ(box.title, "KELVORA MAKER");
    EXPECT_EQ(box.parent, shown) << "the box belongs to the dialog";
    EXPECT_TRUE(openAfterTheBox);
    ASSERT_NE(confirmed, 0);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), plain);
    QFile kept(otherFile);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep me");
    EXPECT_FALSE(QFileInfo::exists(inFolder("x.avi")));
}

INSTANTIATE_TEST_SUITE_P(
    Choices, RefusedChoice,
    ::testing::Values(RefusedCase{"SaveQuotedNamesPointingElsewhere",
                                  true,
                                  [](const QString& other) { return "\"x.avi\" \"" + other + "/y.avi\""; },
                                  "Il nome del file non può contenere le virgolette (\").",
                                  {}},
                      RefusedCase{"SaveQuoteInsideTheName",
                                  true,
                                  [](const QString&) { return QString("x\"y.avi"); },
                                  "Il nome del file non può contenere le virgolette (\").",
                                  {}},
                      RefusedCase{"OpenQuoteSelectingAnotherFile",
                                  false,
                                  [](const QString&) { return QString("x\"a.bmp"); },
                                  "Il nome del file non può contenere le virgolette (\").",
                                  {}},
                      RefusedCase{"SavePathOf1024BytesOrMore", true, [](const QString&) { return QString("x.avi"); },
                                  "Il percorso è troppo lungo (più di 1023 byte).", makeDeepFolder},
                      RefusedCase{"OpenPathOf1024BytesOrMore", false, [](const QString&) { return QString("a.bmp"); },
                                  "Il percorso è troppo lungo (più di 1023 byte).", makeDeepFolder}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RealDialogTest, PathLongerThanTheBufferIsToldAndNothingIsWrittenPastIt)
{
    std::array<char, 12> small{};
    small.fill('x');
    m_ofn.lpstrFile = small.data();
    m_ofn.nMaxFile = static_cast<DWORD>(small.size());
    SeenBox box;
    onModalFileDialog([&](QFileDialog& dialog) {
        dialog.selectFile("a.bmp");
        onModalMessageBox(dialog, box);
        acceptDialog(dialog);
        dialog.reject();
    });
    EXPECT_EQ(m_dialogs.GetOpenFileNameA(m_ofn), 0);
    EXPECT_EQ(box.text, "Il percorso è troppo lungo (più di 11 byte).");
    EXPECT_EQ(std::string(small.data(), small.size()), std::string(12, 'x'));
    EXPECT_EQ(std::filesystem::current_path(), m_savedCwd);
}

// The replace prompt is Qt's, asked about the very file the dialog then returns (with the
// default extension added): No keeps the dialog open, Yes returns that file.
TEST_F(RealDialogTest, ReplacePromptIsAboutTheFileReturned)
{
    {
        QFile existing(inFolder("old.avi"));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    }
    m_ofn.lpstrFilter = "AVI Files\0*.avi\0";
    m_ofn.lpstrDefExt = "avi";
    m_ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    SeenBox refused;
    SeenBox confirmed;
    bool openAfterNo = false;
    onModalFileDialog([&](QFileDialog& dialog) {
        typeName(dialog, "old");
        onModalMessageBox(dialog, refused, QMessageBox::No);
        acceptDialog(dialog);
        openAfterNo = dialog.isVisible();
        onModalMessageBox(dialog, confirmed, QMessageBox::Yes);
        acceptDialog(dialog);
    });
    ASSERT_NE(m_dialogs.GetSaveFileNameA(m_ofn), 0);
    EXPECT_TRUE(refused.seen);
    EXPECT_TRUE(refused.text.contains("old.avi")) << refused.text.toStdString();
    EXPECT_TRUE(openAfterNo);
    EXPECT_TRUE(confirmed.seen);
    EXPECT_EQ(QString::fromUtf8(m_file.data()), inFolder("old.avi"));
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

INSTANTIATE_TEST_SUITE_P(Paths, FileTitleTest,
                         ::testing::Values(TitleCase{"FullPath", "/home/anna/frame01.bmp", 64, 0, "frame01.bmp"},
                                           TitleCase{"BareName", "frame01.bmp", 64, 0, "frame01.bmp"},
                                           TitleCase{"Empty", "", 64, -1, ""},
                                           TitleCase{"EndsWithSeparator", "/home/anna/", 64, -1, ""},
                                           TitleCase{"BufferTooSmallGivesTheSizeNeeded", "/x/frame01.bmp", 5, 12, ""},
                                           TitleCase{"ExactFit", "/x/frame01.bmp", 12, 0, "frame01.bmp"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvora::platform
