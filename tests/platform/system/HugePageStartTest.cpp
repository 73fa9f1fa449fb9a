#include "platform/system/HugePageStart.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace kelvora::platform {
namespace {

constexpr std::string_view kMadvise = "always [madvise] never\n";

// The tunable is added to what the user set, never over a choice the user made, and only where
// the kernel leaves huge pages to the programs that ask.
TEST(HugePageStartTest, AddsTheTunableOnlyWhereItHelps)
{
    EXPECT_EQ(hugePageTunables({nullptr, nullptr, nullptr, kMadvise}), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables({"glibc.malloc.check=3", nullptr, nullptr, kMadvise}),
              "glibc.malloc.check=3:glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables({"", nullptr, nullptr, kMadvise}), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables({"glibc.malloc.hugetlb=0", nullptr, nullptr, kMadvise}), std::nullopt);
    EXPECT_EQ(hugePageTunables({"glibc.malloc.check=3:glibc.malloc.hugetlb=2", nullptr, nullptr, kMadvise}),
              std::nullopt);
    // A name that only starts like it is another tunable.
    EXPECT_EQ(hugePageTunables({"glibc.malloc.hugetlbx=1", nullptr, nullptr, kMadvise}),
              "glibc.malloc.hugetlbx=1:glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables({nullptr, "1", nullptr, kMadvise}), std::nullopt);
    EXPECT_EQ(hugePageTunables({nullptr, "0", nullptr, kMadvise}), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(hugePageTunables({nullptr, nullptr, "-", kMadvise}), std::nullopt);
    EXPECT_EQ(hugePageTunables({nullptr, nullptr, nullptr, "[always] madvise never\n"}), std::nullopt);
    EXPECT_EQ(hugePageTunables({nullptr, nullptr, nullptr, "always madvise [never]\n"}), std::nullopt);
    EXPECT_EQ(hugePageTunables({nullptr, nullptr, nullptr, ""}), std::nullopt);
}

std::string run(const std::string& environment, const std::string& argument)
{
    const std::string command = "env " + environment + " " KELVORA_HUGEPAGE_PROBE " '" + argument + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string out;
    std::array<char, 256> buffer{};
    while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr)
        out += buffer.data();
    return out;
}

bool kernelAsks()
{
    std::ifstream in("/sys/kernel/mm/transparent_hugepage/enabled");
    const std::string setting{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return setting.find("[madvise]") != std::string::npos;
}

// The real restart: once, with the arguments as given, glibc's large block on huge pages, and
// the environment handed on as the user gave it; off when asked, or when the user chose.
TEST(HugePageStartTest, RestartsOnceAndHandsOnTheUsersEnvironment)
{
    if (!kernelAsks())
        GTEST_SKIP() << "the kernel's huge pages are not in 'madvise' mode";
    const std::string restarted = run("-u GLIBC_TUNABLES -u KELVORA_NO_HUGEPAGES", "a b");
    EXPECT_NE(restarted.find("tunables=(unset)\nmarker=(unset)\nstarted-with-hugetlb=1\n"), std::string::npos)
        << restarted;
    EXPECT_NE(restarted.find("args=a b\n"), std::string::npos) << restarted;
    // The process keeps the program's name (ps, killall), not the restart's "exe".
    EXPECT_EQ(restarted.find("name=exe\n"), std::string::npos) << restarted;
    EXPECT_NE(restarted.find("name=kelvora_test_hu"), std::string::npos) << restarted;
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator is not glibc's
    EXPECT_EQ(restarted.find("huge-kb=0\n"), std::string::npos) << restarted;
#endif

    const std::string kept = run("-u KELVORA_NO_HUGEPAGES GLIBC_TUNABLES=glibc.malloc.check=0", "x");
    EXPECT_NE(kept.find("tunables=glibc.malloc.check=0\nmarker=(unset)\nstarted-with-hugetlb=1\n"), std::string::npos)
        << kept;

    const std::string off = run("-u GLIBC_TUNABLES KELVORA_NO_HUGEPAGES=1", "x");
    EXPECT_NE(off.find("tunables=(unset)\nmarker=(unset)\nstarted-with-hugetlb=0\n"), std::string::npos) << off;
    const std::string chosen = run("-u KELVORA_NO_HUGEPAGES GLIBC_TUNABLES=glibc.malloc.hugetlb=0", "x");
    EXPECT_NE(chosen.find("tunables=glibc.malloc.hugetlb=0\nmarker=(unset)\nstarted-with-hugetlb=0\n"),
              std::string::npos)
        << chosen;
}

}  // namespace
}  // namespace kelvora::platform
