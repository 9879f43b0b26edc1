#pragma once

// The numbers of the failures the program reports, after the run-time error
// numbers a Windows program of its kind shows. The FTP component's own
// numbers are in upload/ftperrors.h.

#include <cstdint>

namespace vantrel::errors {

inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kApplicationDefined = 51;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDeviceIoError = 57;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kTooManyFiles = 67;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;

} // namespace vantrel::errors
