#pragma once

// Between Qt's texts and the standard library's strings and paths: the logic
// below the windows takes UTF-8 std::string and std::filesystem::path, the
// windows hold QString. Every crossing goes through these functions.

#include <QString>
#include <QStringList>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// UTF-8 of a text. A lone surrogate (which has no UTF-8 form) becomes
// U+FFFD, which the settings file refuses, rather than a silent "?".
std::string ToUtf8(const QString &text);

inline QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList FromUtf8(const std::vector<std::string> &items);

inline std::filesystem::path ToPath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

inline QString FromPath(const std::filesystem::path &path)
{
    return QString::fromStdU16String(path.u16string());
}

} // namespace vantrel
