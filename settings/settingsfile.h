#pragma once

// The settings file "rider.brm": four lines, each value scrambled with the
// settings key, stored as Windows-1252 bytes. Used by the settings window and
// by the upload job alike.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

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

// The settings file inside the application folder.
std::filesystem::path SettingsFilePath(const std::filesystem::path &appFolder);

// Reads the file line by line (CR LF, LF or CR): lines 1 to 4 go, unscrambled,
// into the fields in order; later lines are ignored; a field whose line is
// missing keeps what it held, so an empty file changes nothing. Reads in
// pieces and keeps no more than the first four lines.
// Throws vantrel::Failure when the file cannot be opened or read (53 "File
// not found" when it does not exist) or when one of its first four lines is
// longer than kMaxValueLength (a damaged file); `values` is then unchanged.
void ReadSettingsFile(const std::filesystem::path &file, FtpSettings &values);

enum class SettingsField { Address, UserName, Password, ServerFolder };

struct StorageProblem
{
    enum class Kind { CannotBeSaved, TooLong };
    SettingsField field;
    Kind kind;
};

// The first value, in file order, that the file cannot carry: a character
// outside Windows-1252 (or text that is not valid UTF-8), a scrambled code 10
// or 13, more than kMaxValueLength characters. Pure.
std::optional<StorageProblem> FindStorageProblem(const FtpSettings &values);

// Writes the four scrambled lines with CR LF to a temporary file in the same
// folder, flushes it to the disk and renames it over `file`, so the old file
// stays whole until the new one is complete. Owner-only permissions where the
// system has them. Throws vantrel::Failure carrying the operating system's
// reason on failure (the temporary file is then removed), and refuses values
// that FindStorageProblem rejects before anything is written.
void WriteSettingsFile(const std::filesystem::path &file, const FtpSettings &values);

} // namespace vantrel::settings
