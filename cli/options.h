#pragma once

// The command line of vantrel-cli: its three commands, their options, the
// values the window's lists offer, and the exit statuses. Pure functions.

#include <string>
#include <vector>

namespace vantrel::cli {

// The exit statuses, as the manual page lists them. When files ended in
// different ways, the first of Interrupted, EncodingFailed, UploadFailed and
// Refused that applies decides.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitEncodingFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUploadFailed = 3;
inline constexpr int kExitRefused = 4;
inline constexpr int kExitInterrupted = 130;

enum class Command { Encode, Upload, Publish };

// A command's name on the command line ("encode", "upload", "publish").
const char *CommandName(Command command);

// The four list values, as the window's lists hold them.
struct EncodeValues
{
    std::string videoWindow;   // "320:240"
    std::string videoBitrate;  // "468"
    std::string audioBitrate;  // "48"
    std::string audioSampling; // "16000"
};

// The window's defaults.
EncodeValues DefaultEncodeValues();

struct Options
{
    Command command = Command::Encode;
    std::vector<std::string> files; // as given
    EncodeValues values = DefaultEncodeValues();
    std::string outputFolder = "."; // as given; the current folder by default
    bool serverFolderGiven = false;
    std::string serverFolder; // as given
    bool passwordFromStdin = false;
    // Fingerprints named with --trust, in the forms the trust store keeps.
    std::vector<std::string> trustedCertificates; // "AB:CD:..."
    std::vector<std::string> trustedHostKeys;     // "SHA256:..."
    bool json = false;
    bool quiet = false;
    bool overwrite = false;
    bool stopOnError = false;
};

struct ParsedArguments
{
    enum class Kind { Run, Help, Version, Usage };
    Kind kind = Kind::Usage;
    Options options;
    std::string error; // Usage: what is wrong, in the program's words
};

// The arguments after the program's name.
ParsedArguments ParseArguments(const std::vector<std::string> &arguments);

// The server folder for --server-folder: a folder named without a "/" at
// its end gets one, so that the file lands inside it (the stored setting is
// used as it stands, as the window does).
std::string ServerFolderOption(const std::string &given);

// What --help and --version print.
std::string HelpText();
std::string VersionText();

} // namespace vantrel::cli
