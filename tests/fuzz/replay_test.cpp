// Feeds a fuzz target each of its seeds and each input that once made it
// fail, once, without libFuzzer. A target reports a broken rule by
// aborting, so a failing input ends this test with its name on stderr.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path &folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::size_t ReplayAll(const std::filesystem::path &folder)
{
    const std::vector<std::filesystem::path> files = FilesIn(folder);
    for (const std::filesystem::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        EXPECT_FALSE(in.bad()) << file;
        std::fprintf(stderr, "replaying %s\n", file.c_str());
        // A copy of its own, so that a read past the end is caught by the
        // sanitizers where they are on.
        const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
        EXPECT_EQ(LLVMFuzzerTestOneInput(data.data(), data.size()), 0) << file;
    }
    return files.size();
}

TEST(FuzzReplay, SeedsPass)
{
    // A target without seeds would replay nothing and prove nothing.
    EXPECT_GT(ReplayAll(FUZZ_CORPUS_FOLDER), 0u) << "no seeds in " << FUZZ_CORPUS_FOLDER;
}

TEST(FuzzReplay, EarlierFailuresPass)
{
    // The folder may be empty or missing: no failure has been found yet.
    ReplayAll(FUZZ_REGRESSION_FOLDER);
}

} // namespace
