// libFuzzer target over the splitting of command lines by the Windows rules.
//
// One input is used three ways:
//  1. as a whole line: the split never makes more arguments than the line
//     has runs of non-blanks, never more characters than the line has, and
//     a line without quotation marks splits at its blanks and nowhere else;
//  2. cut at NUL bytes into arguments that are quoted by the documented
//     rules (a local quoting, not the program's), joined and split again:
//     the split must give back exactly those arguments;
//  3. cut at NUL bytes into the four parts of an encoding job (program
//     folder, source, output folder, output name) that pass the checks the
//     main window makes before it composes a line (nothing empty, no
//     quotation mark, a name ending in ".mp4"): the composed encoder and
//     repair lines must give back the source and output paths unchanged.
#include "common/cmdline.h"
#include "common/companions.h"
#include "encoding/choices.h"
#include "encoding/commandlines.h"
#include "encoding/encoderoptions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vantrel;

namespace {

using Args = std::vector<std::string>;

void Check(bool ok, const char *what, std::string_view line)
{
    if (!ok) {
        std::fprintf(stderr, "cmdline_fuzz: %s\nline: [", what);
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fprintf(stderr, "]\n");
        std::abort();
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

Args SplitAtBlanks(std::string_view line)
{
    Args parts;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        if (i > start)
            parts.emplace_back(line.substr(start, i - start));
    }
    return parts;
}

std::vector<std::string_view> CutAtNul(std::string_view input)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = input.find('\0');
        parts.push_back(input.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        input.remove_prefix(at + 1);
    }
}

// One argument in a form that the Windows rules read back as it is: bare
// when it has no blank and no quotation mark, else quoted, with the
// backslashes that precede a quotation mark (or the closing one) doubled and
// each quotation mark escaped.
std::string Quote(std::string_view argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
        return std::string(argument);
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append(2 * backslashes + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

void CheckWholeLine(std::string_view line)
{
    const Args arguments = SplitWindowsArguments(line);
    const Args runs = SplitAtBlanks(line);
    Check(arguments.size() <= runs.size(), "more arguments than runs of non-blanks", line);
    std::size_t characters = 0;
    for (const std::string &a : arguments)
        characters += a.size();
    Check(characters <= line.size(), "more characters out than in", line);
    if (line.find('"') == std::string_view::npos)
        Check(arguments == runs, "a line without quotation marks split elsewhere than at blanks",
              line);
}

void CheckQuotedRoundTrip(const std::vector<std::string_view> &parts)
{
    Args expected;
    std::string line;
    for (std::string_view part : parts) {
        expected.emplace_back(part);
        if (!line.empty())
            line += ' ';
        line += Quote(part);
    }
    Check(SplitWindowsArguments(line) == expected, "quoted arguments did not come back", line);

    // The same line behind a program path, as the program starts it.
    const std::string program = "C:\\Program Files\\Vantrel\\mencoder";
    const auto start = ProgramStartFromLine(program + ' ' + line, program);
    Check(start.has_value() && start->program == program && start->arguments == expected,
          "the program's line did not give back its arguments", line);
}

void CheckComposedLines(const std::vector<std::string_view> &parts, char separator)
{
    if (parts.size() != 4)
        return;
    encoding::EncodeJob job;
    job.appFolder = parts[0];
    job.sourcePath = parts[1];
    job.outputFolder = encoding::WithTrailingSeparator(std::string(parts[2]), separator);
    job.outputName = parts[3];
    job.encoderOptions = encoding::BuildEncoderOptions("48", "16000", "468", "320:240");
    for (const std::string *text : {&job.sourcePath, &job.outputFolder, &job.outputName})
        if (text->empty() || encoding::ContainsQuotationMark(*text))
            return;
    if (job.appFolder.empty() || !encoding::HasMp4Ending(job.outputName))
        return;

    const std::string encoder =
        encoding::ProgramPath(job.appFolder, companions::kEncoderName, separator);
    const std::string encoderLine = encoding::ComposeEncoderLine(job, separator);
    const auto encoderStart = ProgramStartFromLine(encoderLine, encoder);
    Check(encoderStart.has_value(), "the encoder line does not start with the encoder",
          encoderLine);
    const Args &a = encoderStart->arguments;
    Check(a.size() >= 3 && a.front() == job.sourcePath,
          "the encoder line does not give back the source path", encoderLine);
    Check(a[a.size() - 2] == "-o" && a.back() == encoding::TemporaryOutputPath(job),
          "the encoder line does not give back the output path", encoderLine);

    const std::string repair =
        encoding::ProgramPath(job.appFolder, companions::kRepairName, separator);
    const std::string repairLine = encoding::ComposeRepairLine(job, separator);
    const auto repairStart = ProgramStartFromLine(repairLine, repair);
    Check(repairStart.has_value()
              && repairStart->arguments
                     == Args{encoding::TemporaryOutputPath(job), encoding::FinalOutputPath(job)},
          "the repair line does not give back its two paths", repairLine);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    CheckWholeLine(input);
    const std::vector<std::string_view> parts = CutAtNul(input);
    CheckQuotedRoundTrip(parts);
    CheckComposedLines(parts, '\\');
    CheckComposedLines(parts, '/');
    return 0;
}
