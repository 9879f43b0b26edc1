#include "cli/textline.h"

#include "common/progresstext.h"
#include "upload/uploadpercent.h"

namespace vantrel::cli {

std::string FileLabel(int number, int count, std::string_view name)
{
    return "[" + std::to_string(number) + "/" + std::to_string(count) + "] " + std::string(name);
}

std::string EncodingStateText(std::int64_t elapsedMs, const ProgressLine &progress)
{
    std::string text = "encoding";
    if (progress.percent)
        text += " " + std::to_string(*progress.percent) + "%";
    return text + " | " + EncodingProgressText(elapsedMs, progress.position, progress.percent);
}

std::string UploadStateText(std::int64_t sent, std::int64_t total, std::string_view rateText)
{
    std::string text = "uploading " + std::to_string(upload::UploadPercent(sent, total)) + "%";
    if (!rateText.empty())
        text += " | " + std::string(rateText);
    return text;
}

std::string OneLine(std::string_view message)
{
    std::string line;
    bool pendingSpace = false;
    for (const char c : message) {
        if (c == '\n' || c == '\r') {
            pendingSpace = !line.empty();
            continue;
        }
        if (pendingSpace && line.back() != ' ')
            line += ' ';
        pendingSpace = false;
        line += c;
    }
    return line;
}

std::string FitToWidth(std::string_view line, std::size_t columns)
{
    if (columns == 0)
        return std::string(line);
    std::size_t characters = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        // A byte that continues a UTF-8 sequence belongs to the character before.
        if ((static_cast<unsigned char>(line[i]) & 0xC0u) == 0x80u)
            continue;
        if (characters == columns)
            return std::string(line.substr(0, i));
        ++characters;
    }
    return std::string(line);
}

} // namespace vantrel::cli
