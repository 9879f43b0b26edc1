#include "encoding/choices.h"

#include "common/utf8.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace vantrel::encoding {

namespace {

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

// True when both paths name the same file on disk.
bool SameFile(const std::string &a, const std::string &b)
{
    std::error_code ec;
    return std::filesystem::equivalent(utf8::PathOf(a), utf8::PathOf(b), ec) && !ec;
}

} // namespace

std::optional<std::string> ProposeOutputName(std::string_view fileTitle)
{
    const std::size_t length = utf8::Length(fileTitle);
    const bool mpeg = length >= 4 && LowerAscii(utf8::Right(fileTitle, 4)) == "mpeg";
    const std::size_t drop = mpeg ? 4 : 3;
    if (length < drop)
        return std::nullopt;
    return std::string(utf8::Left(fileTitle, length - drop)) + "mp4";
}

std::string WithTrailingSeparator(std::string folder, char separator)
{
    if (!folder.empty() && folder.back() != separator)
        folder += separator;
    return folder;
}

bool HasMp4Ending(std::string_view fileName)
{
    return LowerAscii(utf8::Right(fileName, 4)) == ".mp4";
}

bool ContainsQuotationMark(std::string_view text)
{
    return text.find('"') != std::string_view::npos;
}

std::optional<Refusal> CheckChoices(const EncodeJob &job)
{
    using enum ChoiceControl;
    if (job.sourcePath.empty())
        return Refusal{"NO FILE TO ENCODE!", InputButton};
    if (job.outputFolder.empty())
        return Refusal{"OUTPUT FOLDER MISSING!", OutputButton};
    if (job.outputName.empty())
        return Refusal{"OUTPUT FILE NAME MISSING!", FileTitle};
    if (!HasMp4Ending(job.outputName))
        return Refusal{"INVALID OUTPUT FILE NAME! MUST BE A .Mp4 FILE.", FileTitle};
    // A quotation mark would end a quoted path inside the command line.
    const char *const quoteMessage = "THE FILE PATH CANNOT CONTAIN A QUOTATION MARK!";
    if (ContainsQuotationMark(job.sourcePath))
        return Refusal{quoteMessage, InputButton};
    if (ContainsQuotationMark(job.outputFolder))
        return Refusal{quoteMessage, OutputButton};
    if (ContainsQuotationMark(job.outputName))
        return Refusal{quoteMessage, FileTitle};
    return std::nullopt;
}

std::optional<Refusal> CheckOutputIsNotSource(const EncodeJob &job)
{
    if (SameFile(FinalOutputPath(job), job.sourcePath)
        || SameFile(TemporaryOutputPath(job), job.sourcePath))
        return Refusal{"THE OUTPUT FILE CANNOT REPLACE THE SOURCE FILE!", ChoiceControl::FileTitle};
    return std::nullopt;
}

bool FinalOutputExists(const EncodeJob &job)
{
    std::error_code ec;
    return std::filesystem::exists(utf8::PathOf(FinalOutputPath(job)), ec);
}

} // namespace vantrel::encoding
