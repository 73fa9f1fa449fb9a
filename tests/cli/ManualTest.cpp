// The manual page, the bash completion and the command line's page of the documents say what
// --help says: the same options and the same exit statuses, so none of them drifts when the
// command line changes.
#include "tests/support/avi/FfmpegProbe.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace kelvora::cli {
namespace {

using Words = std::set<std::string>;

std::string fileText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines after the one that equals heading, up to the next blank line (or line starting
// with stop, when given).
std::vector<std::string> section(const std::string& text, const std::string& heading, const std::string& stop = "")
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (inside && (stop.empty() ? line.empty() : line.starts_with(stop)))
            break;
        if (inside)
            lines.push_back(line);
        inside = inside || line == heading;
    }
    return lines;
}

Words options(const std::string& text)
{
    Words found;
    static const std::regex option(R"((^|[ ,\[])(--?[a-z?]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        found.insert((*it)[2]);
    return found;
}

struct Help {
    Words options;
    Words statuses;
};

Help help()
{
    std::string text;
    EXPECT_EQ(testsupport::runCommand("env -u DISPLAY '" KELVORA_MAKER_EXE "' --help", text), 0);
    Help read;
    // The option column: what a line holds before its description.
    for (const std::string& line : section(text, "Opzioni:"))
        read.options.merge(options(line.substr(0, 23)));
    static const std::regex status(R"(^ *([0-9]+)  )");
    for (const std::string& line : section(text, "Stato di uscita:"))
        if (std::smatch match; std::regex_search(line, match, status))
            read.statuses.insert(match[1]);
    return read;
}

// Manual page source as text: escaped dashes plain, font changes gone.
std::string manualText()
{
    std::string text =
        std::regex_replace(fileText(KELVORA_SOURCE_DIR "/data/kelvora-maker.1"), std::regex(R"(\\-)"), "-");
    return std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
}

// The tags of a manual section: the line after each .TP.
Words manualTags(const std::string& heading, bool asOptions)
{
    Words tags;
    const std::vector<std::string> lines = section(manualText(), heading, ".SH");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != ".TP")
            continue;
        std::string tag = lines[i + 1].substr(lines[i + 1].find(' ') + 1);
        if (asOptions)
            tags.merge(options(" " + tag));
        else
            tags.insert(tag);
    }
    return tags;
}

TEST(ManualTest, ManualCompletionAndCommandLinePageNameWhatHelpNames)
{
    const Help said = help();
    ASSERT_TRUE(said.options.contains("--output") && said.options.contains("-y") && said.options.contains("--"))
        << "help's options not found";
    ASSERT_TRUE(said.statuses.contains("0") && said.statuses.contains("143")) << "help's exit statuses not found";

    EXPECT_EQ(manualTags(".SH OPZIONI", true), said.options);
    EXPECT_EQ(manualTags(".SH STATO DI USCITA", false), said.statuses);

    const std::string completion = fileText(KELVORA_SOURCE_DIR "/data/kelvora-maker.bash-completion");
    std::smatch words;
    ASSERT_TRUE(std::regex_search(completion, words, std::regex(R"(compgen -W '(-[^']*)')")));
    EXPECT_EQ(options(" " + words[1].str()), said.options);

    const std::string page = fileText(KELVORA_SOURCE_DIR "/docs/command-line.md");
    const auto joined = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    };
    const std::string optionTable = joined(section(page, "## Options", "## "));
    const std::string statusTable = joined(section(page, "## Exit statuses", "## "));
    for (const std::string& status : said.statuses)
        EXPECT_NE(statusTable.find("| " + status + " |"), std::string::npos)
            << "docs/command-line.md lacks exit status " << status;
    for (const std::string& option : said.options)
        EXPECT_NE(optionTable.find("`" + option), std::string::npos) << "docs/command-line.md lacks option " << option;
}

}  // namespace
}  // namespace kelvora::cli
