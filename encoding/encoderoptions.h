#pragma once

// The four option lists of the "Encoding Options" page and the encoder
// option string built from their current texts.

#include <array>
#include <string>
#include <string_view>

namespace vantrel::encoding {

inline constexpr std::array<std::string_view, 8> kVideoWindows = {
    "160:120", "240:180", "320:240", "400:300", "512:384", "640:480", "768:576", "1024:768"};
inline constexpr std::array<std::string_view, 9> kVideoBitrates = {
    "160", "225", "320", "468", "768", "1600", "1800", "2000", "2400"};
inline constexpr std::array<std::string_view, 5> kAudioSamplings = {"11025", "16000", "22050",
                                                                    "44100", "48000"};
inline constexpr std::array<std::string_view, 8> kAudioBitrates = {"24", "32", "48",  "56",
                                                                   "64", "96", "128", "196"};

// Positions of the defaults: 320:240, 468, 16000 and 48.
inline constexpr int kDefaultVideoWindow = 2;
inline constexpr int kDefaultVideoBitrate = 3;
inline constexpr int kDefaultAudioSampling = 1;
inline constexpr int kDefaultAudioBitrate = 2;

// The option string for the four texts, used as they stand. It begins and
// ends with one space. Pure.
std::string BuildEncoderOptions(std::string_view audioBitrate, std::string_view audioSampling,
                                std::string_view videoBitrate, std::string_view videoWindow);

} // namespace vantrel::encoding
