// TWavFile: reads and writes RIFF WAVE files of interleaved multichannel audio.
//
// Reading: open_file parses the header and leaves the file open;
// read_channel then gives one channel at a time, as 32-bit floats where full
// scale is 1.0 (every fullscale entry is 1 after opening) or as raw integers.
// Codings: PCM 8 (unsigned), 16, 24, 32 bits; IEEE float 16 (half) and 32;
// A-law and mu-law; the plain format tags and the extensible tag 65534 with
// one of those sub-formats. A damaged file never reads out of bounds: the
// sizes in the file are trusted only as far as the file's length bears them
// out, and open_file reports a file it cannot use by returning false with the
// reason in Getopenerror(): not RIFF/WAVE, no format or "data" chunk, no
// channels, a sampling frequency of 0, or bits that do not fit the format
// tag. A tag this reader does not decode opens (formatstr shows it), and
// read_channel then refuses it with the "Cannot read wav file" message.
// Every chunk is skipped with its pad byte, and "data" may precede "fmt ".
//
// One read_channel call decodes, in a single pass over the data, the asked
// channel together with every channel not handed out yet, and keeps those
// until they are asked for or the file is closed: reading all channels one by
// one costs one pass over the file.
//
// Writing: save_file writes all channels in one pass with a 44-byte header,
// or the 58-byte header with a "fact" chunk for float, more than 2 channels or
// more than 16 bits. With `safe` an existing file is replaced only once the
// new one is complete (see safereplace.h). Integer codings map +-fullscale(c)
// onto the coding's range, clip, and round (optionally after dither).
//
// Errors are raised as EWavFileError (format and reading problems) or
// EFileSaveError (the save did not complete), both carrying the text to show.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dsp/arrays.h"
#include "engine/formats/safereplace.h"
#include "engine/formats/wavsamples.h"

namespace tessal {

class tprompter;

class EWavFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The 16-byte format record shared by every header length.
struct ttag {
    std::uint16_t formattag = 1;
    std::uint16_t nchans = 0;
    std::uint32_t sampfreq = 0;
    std::uint32_t bytespersec = 0;
    std::uint16_t blockalign = 0;
    std::uint16_t bitspersample = 0;
};

// The longest format record (40 bytes) as read from a "fmt " chunk.
struct ttagexlong {
    ttag tag;
    std::uint16_t cbsize = 0;
    std::uint16_t wValidBitsPerSample = 0;
    std::uint32_t dwChannelMask = 0;
    std::array<std::uint8_t, 16> subformat{};

    static constexpr std::size_t size = 40;
    static ttagexlong from_bytes(const std::uint8_t* p);  // p holds 40 bytes
    std::uint16_t subformat_code() const { return static_cast<std::uint16_t>(subformat[0] | (subformat[1] << 8)); }
};

// The plain header as written: RIFF, "fmt " of 16 bytes, "data".
struct twavhead {
    std::uint32_t riffsize = 36;
    ttag tag;
    std::uint32_t datasize = 0;

    static constexpr std::size_t size = 44;
    std::array<std::uint8_t, size> bytes() const;
};

// The extended header as written: "fmt " of 18 bytes, "fact", "data".
struct twavheadex {
    std::uint32_t riffsize = 50;
    ttag tag;
    std::uint16_t cbsize = 0;
    std::uint32_t numsamples = 0;
    std::uint32_t datasize = 0;

    static constexpr std::size_t size = 58;
    std::array<std::uint8_t, size> bytes() const;
};

// What TWavFile::read_channels and scan_channels do besides decoding, and how.
struct treadpass {
    // Called for every block once a thread has decoded its channels of it,
    // on that thread: index of the block's first sample (a multiple of
    // `align`), the frame count, and the thread's channels with their
    // samples (`count` of each). One thread has the same channels in every
    // block, and its calls come in order. The samples are valid only during
    // the call when nothing keeps them (scan_channels).
    std::function<void(std::size_t first, std::size_t n, const int* chans, const float* const* samples, int count)>
        visit;
    // Called on the calling thread after each block with the frames read so
    // far and the frames expected; false stops the reading.
    std::function<bool(std::int64_t, std::int64_t)> progress;
    std::size_t align = 1;
    int threads = 1;
};

class TWavFile {
public:
    // 16 bits, pcm, no channels, 44100 Hz. `prompter` receives the two
    // "DEBUG" diagnostics; without one they are dropped.
    explicit TWavFile(tprompter* prompter = nullptr);
    ~TWavFile();
    TWavFile(const TWavFile&) = delete;
    TWavFile& operator=(const TWavFile&) = delete;

    const std::string& Getfilename() const { return ffilename; }
    void Setfilename(const std::string& v) { ffilename = v; }
    std::int32_t Getsampfreq() const { return fsampfreq; }
    void Setsampfreq(std::int32_t v) { fsampfreq = v; }
    std::int32_t Getsftot() const;  // sampfreq x nchans; EWavFileError when that overflows
    std::int32_t Getnchans() const { return fnchans; }
    void Setnchans(std::int32_t v);  // also resizes the full-scale array (new entries 1.0)
    std::int64_t Getnsamples() const { return fnsamples; }
    double Gettottime() const;  // nsamples / sampfreq, 0 when the rate is 0
    std::uint32_t Getnbits() const { return fnbits; }
    void Setnbits(std::uint32_t v) { fnbits = v; }
    tFormat Getformat() const { return fformat; }
    // The coding read_channel decodes after an open; none for a tag this
    // reader does not decode.
    twavcoding Getcoding() const { return fcoding; }
    void Setformat(tFormat v) { fformat = v; }
    double Getfullscale(std::int64_t channo) const;          // 0 outside the array
    void Setfullscale(std::int64_t channo, double value);    // grows the array when needed
    const std::string& Getformatstr() const { return formatstr; }
    bool Getisopen() const { return isopen; }
    bool Getisreadonly() const { return isreadonly; }
    std::int64_t Getdatastartpos() const { return datastartpos; }
    // Why the last open_file returned false ("" after a successful open).
    const std::string& Getopenerror() const { return fopenerror; }
    // The size the "data" chunk states, before it is held against the file length.
    std::uint32_t Getstateddatasize() const { return fstateddatasize; }

    // An empty name means the current file name. Returns false (and leaves
    // no file open) when the file cannot be used; see Getopenerror().
    bool open_file(const std::string& fname, bool readonly);
    void read_channel(int channo, tsinglearr& arr);
    void read_channel(int channo, tintarr& arr);
    // Reads every channel in one pass over the data: each block is read
    // once, then decoded and visited with the channels spread over
    // pass.threads threads. False, with the arrays cut short, when
    // pass.progress stopped it. Raises EWavFileError like read_channel.
    bool read_channels(std::vector<tsinglearr>& out, const treadpass& pass);
    // The same pass without keeping the samples: each thread decodes its
    // channels of a block into a buffer of its own, visits them and reuses
    // the buffer, so memory stays a few blocks whatever the file's length.
    // Afterwards Getnsamples() is the frames read (fewer than the header
    // gave when the file is shorter than it says), and the channels can be
    // read again through sample sources (wavsource.h).
    bool scan_channels(const treadpass& pass);
    // Throws, as the passes do, when the samples cannot be decoded (an
    // unknown coding): for a caller that reads them later through sources.
    void check_decodable() const { check_readable(0, false); }
    void close_file();

    // Writes every channel; the shorter ones are padded with zeros to the
    // length of the longest. An empty name means the current file name.
    void save_file(const std::string& fname, const std::vector<tsinglearr>& channels, bool safe, bool dither);
    void save_file(const std::string& fname, const std::vector<std::span<const float>>& channels, bool safe,
                   bool dither);
    void save_file(const std::string& fname, const std::vector<tsmallintarr>& channels, bool safe, bool dither);
    void save_file(const std::string& fname, const std::vector<tint24arr>& channels, bool safe, bool dither);
    // Writes nchans channels of `length` samples each, asking `pull` for
    // them a block at a time in file order: pull(ch, from, n, out) fills
    // out[0..n) with samples from..from+n-1 of channel ch. Nothing holds a
    // whole channel; the bytes are those of the float overloads given the
    // same samples.
    using tsamplepull = std::function<void(std::size_t ch, std::size_t from, std::size_t n, float* out)>;
    void save_file(const std::string& fname, std::size_t nchans, std::size_t length, const tsamplepull& pull,
                   bool safe, bool dither);

    // Told after each block a save writes: bytes written and bytes in all;
    // false stops the save (ESaveCancelled, nothing replaced).
    std::function<bool(std::uint64_t, std::uint64_t)> save_progress;

    void set_prompter(tprompter* p) { fprompter = p; }
    // The file-system calls of saving; tests pass one that fails on purpose.
    // nullptr restores the real file system.
    void set_fileops(tfileops* ops) { ffileops = ops ? ops : &tfileops::system(); }

    // Header images of the last save (wavhead or wavheadex) and of the last
    // open (wavheadexlong).
    twavhead wavhead;
    twavheadex wavheadex;
    ttagexlong wavheadexlong;

private:
    // fill(block, start, n) points the block at frames start..start+n-1.
    template <class T, class Fill, class Encode>
    void save_frames(const std::string& fname, std::size_t nch, std::size_t longest, bool safe, twavcoding coding,
                     Fill fill, Encode encode);
    template <class T, class Encode>
    void save_frames(const std::string& fname, const std::vector<std::span<const T>>& channels, bool safe,
                     twavcoding coding, Encode encode);
    template <class Fill>
    void save_floats(const std::string& fname, std::size_t nch, std::size_t longest, bool safe, bool dither,
                     Fill fill);
    // read_channels into *keep, or scan_channels when keep is nullptr.
    bool read_pass(std::vector<tsinglearr>* keep, const treadpass& pass);
    void check_readable(int channo, bool asinteger) const;
    std::string format_message() const;
    void seek_data();
    void debug(const std::string& text);
    bool fail_open(const std::string& why);

    std::string ffilename;
    std::int32_t fsampfreq = 44100;
    std::int32_t fnchans = 0;
    std::int64_t fnsamples = 0;  // 64 bits: 8-bit mono files may hold more than 2^31 frames
    std::uint32_t fnbits = 16;
    std::vector<double> ffullscale;
    tFormat fformat = tFormat::pcm;
    std::string formatstr;
    bool isopen = false;
    bool isreadonly = false;
    std::int64_t datastartpos = -1;

    std::string fopenerror;
    std::uint32_t fstateddatasize = 0;
    bool ftagknown = false;           // the format tag (or sub-format) is one this reader decodes
    twavcoding fcoding = twavcoding::none;
    std::FILE* ffile = nullptr;
    // Channels decoded ahead of being asked for, and which were handed out.
    std::vector<tsinglearr> fcache;
    std::vector<std::uint8_t> fcachestate;  // 0 not read, 1 in fcache, 2 handed out

    tprompter* fprompter = nullptr;
    tfileops* ffileops = &tfileops::system();
    std::mt19937_64 frandom;
};

}  // namespace tessal
