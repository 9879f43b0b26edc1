#pragma once

// Small MP4 files put together box by box, for tests of the repair program.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vantrel::fix::test {

using Bytes = std::vector<std::uint8_t>;

inline void Append32(Bytes &b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(std::uint8_t(v >> shift));
}

inline void Append64(Bytes &b, std::uint64_t v)
{
    Append32(b, std::uint32_t(v >> 32));
    Append32(b, std::uint32_t(v));
}

inline void AppendType(Bytes &b, const std::string &type)
{
    b.insert(b.end(), type.begin(), type.begin() + 4);
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A box with a 32-bit size.
inline Bytes Box(const std::string &type, const Bytes &payload = {})
{
    Bytes b;
    Append32(b, std::uint32_t(8 + payload.size()));
    AppendType(b, type);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// A box with size 1 and a 64-bit size after the type.
inline Bytes LargeBox(const std::string &type, const Bytes &payload = {})
{
    Bytes b;
    Append32(b, 1);
    AppendType(b, type);
    Append64(b, 16 + payload.size());
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// A box with size 0: it runs to the end of whatever holds it.
inline Bytes OpenBox(const std::string &type, const Bytes &payload = {})
{
    Bytes b;
    Append32(b, 0);
    AppendType(b, type);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

inline Bytes FullBox(const std::string &type, std::uint32_t versionAndFlags, const Bytes &rest = {})
{
    Bytes payload;
    Append32(payload, versionAndFlags);
    payload.insert(payload.end(), rest.begin(), rest.end());
    return Box(type, payload);
}

inline Bytes Stco(const std::vector<std::uint32_t> &offsets)
{
    Bytes rest;
    Append32(rest, std::uint32_t(offsets.size()));
    for (std::uint32_t o : offsets)
        Append32(rest, o);
    return FullBox("stco", 0, rest);
}

inline Bytes Co64(const std::vector<std::uint64_t> &offsets)
{
    Bytes rest;
    Append32(rest, std::uint32_t(offsets.size()));
    for (std::uint64_t o : offsets)
        Append64(rest, o);
    return FullBox("co64", 0, rest);
}

// A data reference list with one entry; flag 1 means "in this file".
inline Bytes Dinf(std::uint32_t urlFlags = 1)
{
    Bytes rest;
    Append32(rest, 1);
    const Bytes url = FullBox("url ", urlFlags);
    rest.insert(rest.end(), url.begin(), url.end());
    return Box("dinf", FullBox("dref", 0, rest));
}

// A track whose sample table holds `table` plus any further boxes.
inline Bytes Track(const Bytes &table, const Bytes &moreStbl = {}, const Bytes &moreTrak = {})
{
    const Bytes stsd = FullBox("stsd", 0, Bytes{0, 0, 0, 0});
    const Bytes stbl = Box("stbl", Cat({stsd, table, moreStbl}));
    const Bytes minf = Box("minf", Cat({FullBox("vmhd", 1, Bytes(8, 0)), Dinf(), stbl}));
    const Bytes mdia = Box("mdia", Cat({FullBox("mdhd", 0, Bytes(20, 0)), minf}));
    return Box("trak", Cat({FullBox("tkhd", 3, Bytes(80, 0)), mdia, moreTrak}));
}

inline Bytes Moov(std::initializer_list<Bytes> children)
{
    return Box("moov", Cat({FullBox("mvhd", 0, Bytes(96, 0)), Cat(children)}));
}

inline Bytes Ftyp()
{
    Bytes rest;
    AppendType(rest, "isom");
    Append32(rest, 0x200);
    AppendType(rest, "isom");
    AppendType(rest, "mp41");
    return Box("ftyp", rest);
}

// Media data whose every byte tells its position, so that a moved chunk can
// be recognised.
inline Bytes Payload(std::size_t n, std::uint8_t seed = 0)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = std::uint8_t((i * 131 + std::size_t(seed) * 7 + (i >> 8)) & 0xff);
    return b;
}

} // namespace vantrel::fix::test
