#include "settings/settingsfile.h"

#include "common/codepage.h"
#include "common/errornumbers.h"
#include "common/lines.h"
#include "common/mdlmain.h"
#include "platform/filestore.h"
#include "platform/systemerror.h"

#include <cerrno>

namespace vantrel::settings {

namespace {

// The first four lines of the file, and the first of them that is too long
// to be a value (1-based; 0 when none is).
class LineCollector
{
public:
    // Takes the next piece of the file; false once four lines are complete
    // or a line is too long, so that the rest need not be read.
    bool feed(std::string_view piece) { return take(m_splitter.feed(piece)); }

    // The end of the file ends a last line that has no line end.
    void finish()
    {
        if (std::optional<std::string> last = m_splitter.finish())
            take({std::move(*last)});
    }

    std::size_t damagedLine() const { return m_damagedLine; }
    const std::array<std::optional<std::string>, kFieldCount> &lines() const { return m_lines; }

private:
    bool take(std::vector<std::string> lines)
    {
        for (std::string &line : lines) {
            if (m_count == kFieldCount || m_damagedLine != 0)
                return false;
            if (line.size() > kMaxValueLength) {
                m_damagedLine = m_count + 1;
                return false;
            }
            m_lines[m_count++] = std::move(line);
        }
        return m_count < kFieldCount;
    }

    // A line one longer than a value is already too long.
    LineSplitter m_splitter{kMaxValueLength + 1};
    std::array<std::optional<std::string>, kFieldCount> m_lines;
    std::size_t m_count = 0;
    std::size_t m_damagedLine = 0;
};

SettingsResult FromStatus(const platform::FileStatus &status, bool writing)
{
    SettingsResult result;
    result.writing = writing;
    if (status.ok())
        return result;
    result.systemError = status.error;
    result.notRegular = status.notRegular;
    const bool missing = status.error == ENOENT || status.error == ENOTDIR;
    result.kind = missing ? SettingsResult::Kind::NotFound : SettingsResult::Kind::Io;
    return result;
}

// The number and phrase for an operating system error.
Failure SystemFailure(int error, bool writing)
{
    using namespace errors;
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return {kPermissionDenied, "Permission denied"};
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return {kDiskFull, "Disk full"};
    case EIO:
        return {kDeviceIoError, "Device I/O error"};
    case EMFILE:
    case ENFILE:
        return {kTooManyFiles, "Too many files"};
    case ENOENT:
    case ENOTDIR:
        return writing ? Failure(kPathNotFound, "Path not found")
                       : Failure(kFileNotFound, "File not found");
    default:
        return {kPathFileAccessError, "Path/File access error"};
    }
}

} // namespace

Failure SettingsResult::failure() const
{
    switch (kind) {
    case Kind::Ok:
        break;
    case Kind::Damaged:
        return {errors::kOverflow, "The settings file is damaged (line "
                                       + std::to_string(damagedLine)
                                       + " is longer than 32,766 characters)"};
    case Kind::CannotStore: {
        const std::string name = problem ? InfoOf(problem->field).name : "value";
        if (problem && problem->kind == StorageProblem::Kind::TooLong)
            return {errors::kInvalidCall, "The " + name + " is longer than 32,766 characters"};
        return {errors::kInvalidCall, "The " + name + " contains a character that cannot be saved"};
    }
    case Kind::NotFound:
        return SystemFailure(systemError, writing);
    case Kind::Io: {
        if (notRegular)
            return {errors::kPathFileAccessError, "Path/File access error (Not a regular file)"};
        Failure base = SystemFailure(systemError, writing);
        const std::string reason = platform::ErrnoText(systemError);
        if (reason.empty() || reason == base.description())
            return base;
        return {base.number(), base.description() + " (" + reason + ")"};
    }
    }
    return {errors::kApplicationDefined, "No failure"};
}

std::filesystem::path SettingsFilePath(const std::filesystem::path &folder)
{
    return folder / kSettingsFileName;
}

SettingsResult ReadSettingsFile(const std::filesystem::path &file, FtpSettings &values)
{
    LineCollector collector;
    const platform::FileStatus status = platform::ReadFileInPieces(
        file, [&collector](std::string_view piece) { return collector.feed(piece); });
    if (!status.ok())
        return FromStatus(status, false);
    collector.finish();
    if (collector.damagedLine() != 0) {
        SettingsResult damaged;
        damaged.kind = SettingsResult::Kind::Damaged;
        damaged.damagedLine = collector.damagedLine();
        return damaged;
    }
    // Everything is read: only now do the values change.
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (const std::optional<std::string> &line = collector.lines()[i]) {
            values.*kFields[i].member =
                codepage::Cp1252ToUtf8(mdlMain::UnscrambleText(*line, mdlMain::kSettingsKey));
        }
    }
    return {};
}

std::optional<StorageProblem> FindStorageProblem(const FtpSettings &values)
{
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const auto field = static_cast<SettingsField>(i);
        const std::optional<std::string> bytes = codepage::Utf8ToCp1252(values.*kFields[i].member);
        if (!bytes)
            return StorageProblem{field, StorageProblem::Kind::CannotBeSaved};
        if (bytes->size() > kMaxValueLength)
            return StorageProblem{field, StorageProblem::Kind::TooLong};
        const std::string scrambled = mdlMain::ScrambleText(*bytes, mdlMain::kSettingsKey);
        if (scrambled.find_first_of("\r\n") != std::string::npos)
            return StorageProblem{field, StorageProblem::Kind::CannotBeSaved};
    }
    return std::nullopt;
}

std::optional<SettingsField> FindLineBreak(const FtpSettings &values)
{
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const std::string &value = values.*kFields[i].member;
        if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return static_cast<SettingsField>(i);
    }
    return std::nullopt;
}

std::string RefusalMessage(SettingsField field, ValueRefusal why)
{
    const std::string caption = InfoOf(field).caption;
    switch (why) {
    case ValueRefusal::Blank:
        return caption + " IS BLANK!";
    case ValueRefusal::LineBreak:
        return caption + " CONTAINS A LINE BREAK OR NUL CHARACTER!";
    case ValueRefusal::CannotBeSaved:
        return caption + " CONTAINS A CHARACTER THAT CANNOT BE SAVED!";
    case ValueRefusal::TooLong:
        return caption + " IS TOO LONG!";
    }
    return caption + "!";
}

SettingsResult WriteSettingsFile(const std::filesystem::path &file, const FtpSettings &values)
{
    if (const std::optional<StorageProblem> problem = FindStorageProblem(values)) {
        SettingsResult refused;
        refused.kind = SettingsResult::Kind::CannotStore;
        refused.writing = true;
        refused.problem = problem;
        return refused;
    }
    std::string content;
    for (const FieldInfo &field : kFields) {
        const std::string bytes = *codepage::Utf8ToCp1252(values.*field.member);
        content += mdlMain::ScrambleText(bytes, mdlMain::kSettingsKey);
        content += "\r\n";
    }
    return FromStatus(platform::WriteWholeFile(file, content), true);
}

} // namespace vantrel::settings
