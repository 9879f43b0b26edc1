#include "encoding/commandlines.h"

namespace vantrel::encoding {

namespace {
constexpr char kQuote = '"';
}

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
    std::string line = ProgramPath(job.appFolder, kEncoderName, separator);
    line += ' ';
    line += kQuote;
    line += job.sourcePath;
    line += kQuote;
    line += job.encoderOptions;
    line += " -of lavf -lavfopts format=mp4 -o ";
    line += kQuote;
    line += TemporaryOutputPath(job);
    line += kQuote;
    return line;
}

std::string ComposeRepairLine(const EncodeJob &job, char separator)
{
    std::string line = ProgramPath(job.appFolder, kRepairName, separator);
    line += ' ';
    line += kQuote;
    line += TemporaryOutputPath(job);
    line += kQuote;
    line += ' ';
    line += kQuote;
    line += FinalOutputPath(job);
    line += kQuote;
    return line;
}

} // namespace vantrel::encoding
