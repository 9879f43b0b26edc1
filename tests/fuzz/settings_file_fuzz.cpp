// libFuzzer target over the reader of the settings file. The reader only
// takes a path, so every input is written to one temporary file of this
// process and read from there.
//
// Checked against a model of the file that is kept simple on purpose: the
// first four lines (ended by CR LF, LF or a lone CR; an unended last line
// counts) go, unscrambled and converted from Windows-1252, into the fields in
// order; a field without a line keeps what it held; a line of more than
// kMaxValueLength bytes among the first four is refused and then nothing
// changes. Every value read must also be storable again and scramble back to
// the line it came from.
#include "common/codepage.h"
#include "common/failure.h"
#include "common/mdlmain.h"
#include "settings/settingsfile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::settings;

namespace {

void Check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "settings_file_fuzz: %s\n", what);
        std::abort();
    }
}

constexpr std::array<std::string FtpSettings::*, 4> kMembers = {
    &FtpSettings::address, &FtpSettings::userName, &FtpSettings::password,
    &FtpSettings::serverFolder};

// What the fields held before the read; none of these can come out of a line
// of the file, because a line never holds a line end.
const FtpSettings kBefore = {"before\naddress", "before\nuser", "before\npassword",
                             "before\nfolder"};

// The first four lines of the input, or nothing when one of them is too long.
struct Model
{
    std::vector<std::string_view> lines;
    bool tooLong = false;
};

Model FirstFourLines(std::string_view input)
{
    Model model;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < input.size() && model.lines.size() < 4) {
        const char c = input[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        model.lines.push_back(input.substr(start, i - start));
        i += (c == '\r' && i + 1 < input.size() && input[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (model.lines.size() < 4 && start < input.size())
        model.lines.push_back(input.substr(start));
    for (std::string_view line : model.lines)
        model.tooLong = model.tooLong || line.size() > kMaxValueLength;
    return model;
}

// One file per process, rewritten for every input. Never destroyed, so that
// the exit handler can still remove it; a crash leaves it behind in the
// temporary folder.
const std::filesystem::path &InputFile()
{
    static const std::filesystem::path *const path = [] {
        const char *folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder && *folder ? folder : "/tmp") + "/vantrel-settings-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        Check(fd >= 0, "cannot create the temporary file");
        ::close(fd);
        return new std::filesystem::path(pattern);
    }();
    static const bool removedAtExit = std::atexit([] {
                                          std::error_code ignored;
                                          std::filesystem::remove(*path, ignored);
                                      })
                                      == 0;
    (void)removedAtExit;
    return *path;
}

void WriteInput(const std::uint8_t *data, std::size_t size)
{
    const int fd = ::open(InputFile().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    Check(fd >= 0, "cannot open the temporary file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        Check(written > 0, "cannot write the temporary file");
        done += static_cast<std::size_t>(written);
    }
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    WriteInput(data, size);

    FtpSettings values = kBefore;
    std::optional<Failure> failure;
    if (const SettingsResult result = ReadSettingsFile(InputFile(), values); !result.ok())
        failure = result.failure();

    const Model model = FirstFourLines(input);
    if (model.tooLong) {
        Check(failure.has_value(), "a line longer than the limit was accepted");
        Check(failure->number() == 6, "a too long line gave another failure than 6");
        for (auto field : kMembers)
            Check(values.*field == kBefore.*field, "a refused file changed a value");
        return 0;
    }
    if (failure) {
        std::fprintf(stderr, "settings_file_fuzz: refused (%d): %s\n", failure->number(),
                     failure->what());
        Check(false, "a file with lines short enough was refused");
    }

    for (std::size_t i = 0; i < kMembers.size(); ++i) {
        const std::string &value = values.*kMembers[i];
        if (i >= model.lines.size()) {
            Check(value == kBefore.*kMembers[i], "a field without a line changed");
            continue;
        }
        const std::string_view line = model.lines[i];
        Check(value == codepage::Cp1252ToUtf8(mdlMain::UnscrambleText(line, mdlMain::kSettingsKey)),
              "a value is not its line unscrambled");
        // Saved again, the value gives back the very line it was read from.
        const std::optional<std::string> bytes = codepage::Utf8ToCp1252(value);
        Check(bytes.has_value(), "a value read has no Windows-1252 bytes");
        Check(mdlMain::ScrambleText(*bytes, mdlMain::kSettingsKey) == line,
              "a value does not scramble back to its line");
    }
    if (model.lines.size() == 4)
        Check(!FindStorageProblem(values).has_value(), "values read cannot be saved again");
    return 0;
}
