#include "cli/options.h"

#include "encoding/encoderoptions.h"
#include "upload/certtrust.h"
#include "upload/sftphostkey.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#ifndef VANTREL_VERSION
#define VANTREL_VERSION "0"
#endif

namespace vantrel::cli {

namespace {

// Which commands take an option.
enum Takes : unsigned { kEncode = 1, kUpload = 2, kPublish = 4, kAll = 7 };

struct OptionRule
{
    std::string_view name;
    bool hasValue;
    unsigned commands;
};

constexpr OptionRule kOptions[] = {
    {"--output-folder", true, kEncode | kPublish},
    {"--size", true, kEncode | kPublish},
    {"--video-kbps", true, kEncode | kPublish},
    {"--audio-kbps", true, kEncode | kPublish},
    {"--audio-hz", true, kEncode | kPublish},
    {"--overwrite", false, kEncode | kPublish},
    {"--server-folder", true, kUpload | kPublish},
    {"--password-stdin", false, kUpload | kPublish},
    {"--trust", true, kUpload | kPublish},
    {"--json", false, kAll},
    {"--quiet", false, kAll},
    {"--stop-on-error", false, kAll},
};

unsigned Bit(Command command)
{
    switch (command) {
    case Command::Encode:
        return kEncode;
    case Command::Upload:
        return kUpload;
    case Command::Publish:
        return kPublish;
    }
    return 0;
}

template<std::size_t N>
std::optional<std::string> Listed(const std::array<std::string_view, N> &list,
                                  std::string_view value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        return std::nullopt;
    return std::string(value);
}

// `THE VIDEO SIZE "300:200" IS NOT ONE OF 160:120, ..., 1024:768!`
template<std::size_t N>
std::string NotListed(const char *what, std::string_view value,
                      const std::array<std::string_view, N> &list)
{
    std::string message =
        std::string("THE ") + what + " \"" + std::string(value) + "\" IS NOT ONE OF ";
    for (std::size_t i = 0; i < N; ++i)
        message += (i ? ", " : "") + std::string(list[i]);
    return message + "!";
}

ParsedArguments Usage(std::string error)
{
    ParsedArguments parsed;
    parsed.kind = ParsedArguments::Kind::Usage;
    parsed.error = std::move(error);
    return parsed;
}

// Takes one option's value; an error text when it is refused.
std::optional<std::string> Take(Options &options, std::string_view name, const std::string &value)
{
    using namespace encoding;
    if (name == "--output-folder") {
        if (value.empty())
            return "THE OUTPUT FOLDER CANNOT BE EMPTY!";
        options.outputFolder = value;
    } else if (name == "--size") {
        const auto listed = Listed(kVideoWindows, value);
        if (!listed)
            return NotListed("VIDEO SIZE", value, kVideoWindows);
        options.values.videoWindow = *listed;
    } else if (name == "--video-kbps") {
        const auto listed = Listed(kVideoBitrates, value);
        if (!listed)
            return NotListed("VIDEO BIT RATE", value, kVideoBitrates);
        options.values.videoBitrate = *listed;
    } else if (name == "--audio-kbps") {
        const auto listed = Listed(kAudioBitrates, value);
        if (!listed)
            return NotListed("AUDIO BIT RATE", value, kAudioBitrates);
        options.values.audioBitrate = *listed;
    } else if (name == "--audio-hz") {
        const auto listed = Listed(kAudioSamplings, value);
        if (!listed)
            return NotListed("AUDIO SAMPLING RATE", value, kAudioSamplings);
        options.values.audioSampling = *listed;
    } else if (name == "--server-folder") {
        options.serverFolderGiven = true;
        options.serverFolder = value;
    } else if (name == "--trust") {
        if (const auto key = upload::NormalizeHostKeyFingerprint(value))
            options.trustedHostKeys.push_back(*key);
        else if (const auto certificate = upload::NormalizeFingerprint(value))
            options.trustedCertificates.push_back(*certificate);
        else
            return "--trust WANTS A SHA-256 FINGERPRINT IN HEX OR A HOST KEY'S SHA256:...!";
    } else if (name == "--overwrite") {
        options.overwrite = true;
    } else if (name == "--password-stdin") {
        options.passwordFromStdin = true;
    } else if (name == "--json") {
        options.json = true;
    } else if (name == "--quiet") {
        options.quiet = true;
    } else if (name == "--stop-on-error") {
        options.stopOnError = true;
    }
    return std::nullopt;
}

} // namespace

const char *CommandName(Command command)
{
    switch (command) {
    case Command::Encode:
        return "encode";
    case Command::Upload:
        return "upload";
    case Command::Publish:
        return "publish";
    }
    return "";
}

EncodeValues DefaultEncodeValues()
{
    using namespace encoding;
    return {std::string(kVideoWindows[kDefaultVideoWindow]),
            std::string(kVideoBitrates[kDefaultVideoBitrate]),
            std::string(kAudioBitrates[kDefaultAudioBitrate]),
            std::string(kAudioSamplings[kDefaultAudioSampling])};
}

ParsedArguments ParseArguments(const std::vector<std::string> &arguments)
{
    ParsedArguments parsed;
    // --help and --version win wherever they stand before "--".
    for (const std::string &argument : arguments) {
        if (argument == "--")
            break;
        if (argument == "--help" || argument == "-h") {
            parsed.kind = ParsedArguments::Kind::Help;
            return parsed;
        }
        if (argument == "--version") {
            parsed.kind = ParsedArguments::Kind::Version;
            return parsed;
        }
    }
    if (arguments.empty())
        return Usage("NO COMMAND GIVEN! THE COMMANDS ARE encode, upload AND publish.");
    Options &options = parsed.options;
    const std::string &command = arguments.front();
    bool known = false;
    for (const Command each : {Command::Encode, Command::Upload, Command::Publish}) {
        if (command == CommandName(each)) {
            options.command = each;
            known = true;
        }
    }
    if (!known)
        return Usage("UNKNOWN COMMAND \"" + command
                     + "\"! THE COMMANDS ARE encode, upload AND publish.");

    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 1, "-") != 0) {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto rule = std::find_if(std::begin(kOptions), std::end(kOptions),
                                       [&](const OptionRule &s) { return s.name == name; });
        if (rule == std::end(kOptions))
            return Usage("UNKNOWN OPTION " + name + "!");
        if (!(rule->commands & Bit(options.command))) {
            std::string error = "THE OPTION " + name;
            error += " DOES NOT GO WITH " + command + "!";
            return Usage(error);
        }
        std::string value;
        if (rule->hasValue) {
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return Usage("THE OPTION " + name + " NEEDS A VALUE!");
        } else if (equals != std::string::npos) {
            return Usage("THE OPTION " + name + " TAKES NO VALUE!");
        }
        if (std::optional<std::string> refused = Take(options, name, value))
            return Usage(*refused);
    }
    if (options.files.empty())
        return Usage(command == "upload" ? "NO FILE TO UPLOAD!" : "NO FILE TO ENCODE!");
    if (options.json && options.quiet)
        return Usage("--json AND --quiet CANNOT BE COMBINED!");
    parsed.kind = ParsedArguments::Kind::Run;
    return parsed;
}

std::string ServerFolderOption(const std::string &given)
{
    if (given.empty() || given.back() == '/')
        return given;
    return given + "/";
}

std::string HelpText()
{
    return R"(Usage: vantrel-cli encode SOURCE... [OPTION]...
       vantrel-cli upload FILE... [OPTION]...
       vantrel-cli publish SOURCE... [OPTION]...

Encodes videos into MP4 files (H.264, AAC) that play while they download,
uploads files to the server of the program's FTP settings, or both, file
after file: publish uploads one file while it encodes the next.

Encoding (encode, publish):
  --output-folder DIR   where NAME.mp4 goes (default: the current folder)
  --size W:H            160:120 240:180 320:240 400:300 512:384 640:480
                        768:576 1024:768 (default 320:240)
  --video-kbps N        160 225 320 468 768 1600 1800 2000 2400 (default 468)
  --audio-kbps N        24 32 48 56 64 96 128 196 (default 48)
  --audio-hz N          11025 16000 22050 44100 48000 (default 16000)
  --overwrite           replace an output file that exists

Uploading (upload, publish):
  --server-folder DIR   the folder on the server for this run, in place of
                        the stored one
  --password-stdin      read the password from the first line of standard
                        input, in place of the stored one
  --trust FINGERPRINT   trust this server certificate (SHA-256 in hex) or
                        SFTP host key (SHA256:...); may be repeated

Output and batches:
  --json                one JSON object per line for every event
  --quiet               print errors only
  --stop-on-error       start nothing new after a file fails
  --help, --version

Exit status: 0 all files succeeded, 1 an encoding failed, 2 usage error,
3 an upload failed, 4 a file or server was refused, 130 interrupted.
See vantrel-cli(1) for the JSON events and the settings it shares with
the program.
)";
}

std::string VersionText()
{
    return "vantrel-cli " VANTREL_VERSION "\n";
}

} // namespace vantrel::cli
