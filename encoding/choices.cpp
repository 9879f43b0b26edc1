#include "encoding/choices.h"

#include "common/utf8.h"

#include <algorithm>
#include <cctype>

namespace vantrel::encoding {

namespace {

std::string LowerAscii(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
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

} // namespace vantrel::encoding
