#pragma once

// The settings file "rider.brm": four lines, each value scrambled with the
// settings key, stored as Windows-1252 bytes. Used by the settings window and
// by the upload job alike. The format lives here; the file operations
// themselves are platform/filestore.h.

#include "common/failure.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel::settings {

inline constexpr const char *kSettingsFileName = "rider.brm";

// The longest value a line carries, in characters.
inline constexpr std::size_t kMaxValueLength = 32766;

// The four values, UTF-8, always in this order.
struct FtpSettings
{
    std::string address;
    std::string userName;
    std::string password;
    std::string serverFolder;
};

enum class SettingsField { Address, UserName, Password, ServerFolder };
inline constexpr std::size_t kFieldCount = 4;

// Each value in line order: where it is kept, and its name in the file's
// failure texts ("FTP address") and in the window's refusals ("FTP ADDRESS").
struct FieldInfo
{
    std::string FtpSettings::*member;
    const char *name;
    const char *caption;
};
inline constexpr std::array<FieldInfo, kFieldCount> kFields = {{
    {&FtpSettings::address, "FTP address", "FTP ADDRESS"},
    {&FtpSettings::userName, "FTP user name", "FTP USERNAME"},
    {&FtpSettings::password, "FTP password", "FTP PASSWORD"},
    {&FtpSettings::serverFolder, "server folder", "SERVER FOLDER"},
}};

inline const FieldInfo &InfoOf(SettingsField field)
{
    return kFields[static_cast<std::size_t>(field)];
}

struct StorageProblem
{
    enum class Kind { CannotBeSaved, TooLong };
    SettingsField field;
    Kind kind;
};

// How a read or a write of the file went.
struct SettingsResult
{
    enum class Kind {
        Ok,
        NotFound,    // no file (reading), or no folder for it (writing)
        Damaged,     // a line longer than kMaxValueLength
        CannotStore, // a value the file cannot carry (see problem)
        Io,          // any other failure of the system (see systemError)
    };
    Kind kind = Kind::Ok;
    bool writing = false;
    int systemError = 0;     // errno for NotFound and Io
    bool notRegular = false; // Io: a pipe or device stands in the file's place
    std::size_t damagedLine = 0;
    std::optional<StorageProblem> problem;

    bool ok() const { return kind == Kind::Ok; }
    // The failure the user is told of, with its number: 53 "File not
    // found", 76 "Path not found", 70 "Permission denied", 61 "Disk full",
    // 6 for a damaged file, and so on.
    Failure failure() const;
};

// The settings file inside `folder` (the application folder of a copy its
// user can write, see AppContext::settingsFolder).
std::filesystem::path SettingsFilePath(const std::filesystem::path &folder);

// Reads the file line by line (CR LF, LF or CR): lines 1 to 4 go, unscrambled,
// into the fields in order; later lines are ignored; a field whose line is
// missing keeps what it held, so an empty file changes nothing. Reads in
// pieces and keeps no more than the first four lines. On any failure
// `values` is unchanged.
SettingsResult ReadSettingsFile(const std::filesystem::path &file, FtpSettings &values);

// The first value, in file order, that the file cannot carry: a character
// outside Windows-1252 (or text that is not valid UTF-8), a scrambled code 10
// or 13, more than kMaxValueLength characters. Pure.
std::optional<StorageProblem> FindStorageProblem(const FtpSettings &values);

// The first value, in file order, with a CR, an LF or a NUL: the FTP command
// line it is sent on would end there, and the rest be read as a command of
// its own. Such a value is stored as it is, but never sent. Pure.
std::optional<SettingsField> FindLineBreak(const FtpSettings &values);

// Why a value the user gave is refused.
enum class ValueRefusal {
    Blank,         // a value a connection needs is empty
    LineBreak,     // see FindLineBreak
    CannotBeSaved, // see FindStorageProblem
    TooLong,
};

// "FTP ADDRESS IS BLANK!", "SERVER FOLDER CONTAINS A LINE BREAK OR NUL
// CHARACTER!", ...: the words for a refused value. Pure.
std::string RefusalMessage(SettingsField field, ValueRefusal why);

// Writes the four scrambled lines with CR LF so that the old file stays
// whole until the new one is complete (platform::WriteWholeFile), owner-only.
// Values that FindStorageProblem rejects are refused before anything is
// written.
SettingsResult WriteSettingsFile(const std::filesystem::path &file, const FtpSettings &values);

} // namespace vantrel::settings
