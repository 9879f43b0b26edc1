#pragma once

// The user's choices on the "Source Files" page: the proposed output name,
// the output folder's separator, and the checks before an encoding. Texts are
// UTF-8; lengths count characters, not bytes. Pure functions, except the two
// at the end, which look at the file system.

#include "encoding/commandlines.h"

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::encoding {

// The output name proposed from a source file's name: an extension "mpeg"
// (any case) loses four characters, any other name its last three; then
// "mp4" is appended. Nothing when the name is shorter than what is to be
// dropped.
std::optional<std::string> ProposeOutputName(std::string_view fileTitle);

// The folder with one separator at its end; the empty text stays empty.
std::string WithTrailingSeparator(std::string folder, char separator);

// True when the last four characters, lower-cased, are ".mp4".
bool HasMp4Ending(std::string_view fileName);

// A quotation mark cannot be carried inside a quoted command-line argument.
bool ContainsQuotationMark(std::string_view text);

// Where the focus goes after a refused choice.
enum class ChoiceControl { InputButton, OutputButton, FileTitle };

struct Refusal
{
    std::string message; // in the error form: upper case, ending in "!"
    ChoiceControl focus;
};

// The checks before an encoding, in this order: a source file, an output
// folder, an output name, its ".mp4" ending, and no quotation mark in the
// source, the folder or the name. The first that fails, or nothing.
std::optional<Refusal> CheckChoices(const EncodeJob &job);

// The encoder truncates its output and the repair program replaces the final
// file: neither may be the source (through links and case folding, as the
// file system sees it).
std::optional<Refusal> CheckOutputIsNotSource(const EncodeJob &job);

// True when the final output file exists already.
bool FinalOutputExists(const EncodeJob &job);

} // namespace vantrel::encoding
