#include "cli/CommandLine.h"

#include "platform/filesystem/PathNames.h"

#include <QCommandLineParser>
#include <QHash>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace kelvora::cli {

namespace {

constexpr int kUsageError = 2;

[[noreturn]] void usageError(const QString& message)
{
    std::fprintf(stderr, "kelvora-maker: %s\nProva 'kelvora-maker --help'.\n", qPrintable(message));
    std::exit(kUsageError);
}

// Arguments back as the bytes the shell passed: a file name that is not valid in the
// locale's encoding still names its file.
QString exactPath(const QString& argument, const QHash<QString, QString>& exact)
{
    return exact.value(argument, argument);
}

}  // namespace

bool wantsWindow(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        // Every long option is ours (Qt's own take one dash), so a mistyped one is reported
        // without a display too.
        if (argument.starts_with("--") || argument == "-h" || argument == "-?" || argument == "-v" ||
            argument.starts_with("-o"))
            return false;
    }
    return true;
}

Invocation readCommandLine(const QCoreApplication& application, int argc, char** argv)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Crea un video AVI da una lista ordinata di immagini BMP.\n"
        "Senza --output apre la finestra con i file indicati già nella lista dei fotogrammi."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Crea il video <file> senza finestra, poi termina."),
                                    QStringLiteral("file"));
    const QCommandLineOption fps(QStringLiteral("fps"),
                                 QStringLiteral("Fotogrammi per secondo, da 1 a 30 (25 se non indicato)."),
                                 QStringLiteral("n"), QStringLiteral("25"));
    parser.addOption(output);
    parser.addOption(fps);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("File BMP, o cartelle: di una cartella si prendono tutti i "
                                                "file BMP in ordine naturale."),
                                 QStringLiteral("[FILE|CARTELLA...]"));
    parser.process(application);

    QHash<QString, QString> exact;
    for (int i = 1; i < argc; ++i)
        exact.insert(QString::fromLocal8Bit(argv[i]), platform::pathFromNative(argv[i]));

    Invocation invocation;
    // A list entry is a full path, whatever folder the program was started from.
    for (const QString& item : parser.positionalArguments()) {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(platform::nativePath(exactPath(item, exact)), error);
        invocation.items << (error ? exactPath(item, exact) : platform::pathFromNative(full.string()));
    }
    if (parser.isSet(output)) {
        invocation.output = exactPath(parser.value(output), exact);
        if (invocation.output.isEmpty())
            usageError(QStringLiteral("--output vuole il nome del video da creare"));
        if (invocation.items.isEmpty())
            usageError(QStringLiteral("nessun file o cartella da cui prendere i fotogrammi"));
    } else if (parser.isSet(fps)) {
        usageError(QStringLiteral("--fps vale solo con --output; nella finestra si sceglie con la barra"));
    }
    bool number = false;
    invocation.fps = parser.value(fps).toInt(&number);
    if (!number || invocation.fps < 1 || invocation.fps > 30)
        usageError(QStringLiteral("--fps vuole un numero intero da 1 a 30, non '%1'").arg(parser.value(fps)));
    return invocation;
}

}  // namespace kelvora::cli
