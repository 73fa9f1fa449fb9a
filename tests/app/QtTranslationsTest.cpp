#include "app/QtTranslations.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QPushButton>
#include <gtest/gtest.h>

namespace kelvora::app {
namespace {

TEST(QtTranslationsTest, QtsOwnDialogsSpeakItalian)
{
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_it.qm")))
        GTEST_SKIP() << "Qt's Italian translation (package qt6-translations-l10n) is not installed";
    ASSERT_TRUE(installQtTranslations(*QCoreApplication::instance()));

    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Annulla"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Salva"));

    // The save dialog's question before it replaces a file, and its own labels.
    const QString replace = QFileDialog::tr("%1 already exists.\nDo you want to replace it?");
    EXPECT_NE(replace, QStringLiteral("%1 already exists.\nDo you want to replace it?"));
    EXPECT_TRUE(replace.contains(QStringLiteral("%1")));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(dialog.labelText(QFileDialog::Reject), QStringLiteral("Annulla"));
}

}  // namespace
}  // namespace kelvora::app
