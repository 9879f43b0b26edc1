#include "encoding/commandlines.h"

#include "common/companions.h"

namespace vantrel::encoding {

namespace {

constexpr char kQuote = '"';

// A path in quotation marks. Backslashes that end the path are doubled, or
// the splitter would read the last one and the closing mark as a literal
// mark. (Only a file name on a system with '/' separators can end in one.)
void AppendQuoted(std::string &line, const std::string &path)
{
    line += kQuote;
    line += path;
    const std::size_t last = path.find_last_not_of('\\');
    const std::size_t trailing = last == std::string::npos ? path.size() : path.size() - last - 1;
    line.append(trailing, '\\');
    line += kQuote;
}

} // namespace

std::string ProgramPath(const std::string &appFolder, const char *name, char separator)
{
    return appFolder + separator + name;
}

std::string TemporaryOutputPath(const EncodeJob &job)
{
    return FinalOutputPath(job) + ".temp";
}

std::string FinalOutputPath(const EncodeJob &job)
{
    return job.outputFolder + job.outputName;
}

std::string ComposeEncoderLine(const EncodeJob &job, char separator)
{
    std::string line = ProgramPath(job.appFolder, companions::kEncoderName, separator);
    line += ' ';
    AppendQuoted(line, job.sourcePath);
    line += job.encoderOptions;
    line += " -of lavf -lavfopts format=mp4 -o ";
    AppendQuoted(line, TemporaryOutputPath(job));
    return line;
}

std::string ComposeRepairLine(const EncodeJob &job, char separator)
{
    std::string line = ProgramPath(job.appFolder, companions::kRepairName, separator);
    line += ' ';
    AppendQuoted(line, TemporaryOutputPath(job));
    line += ' ';
    AppendQuoted(line, FinalOutputPath(job));
    return line;
}

} // namespace vantrel::encoding
