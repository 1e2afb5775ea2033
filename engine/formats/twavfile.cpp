// TWavFile (see twavfile.h): header parsing, chunk walking, block reading and
// the one-pass writer.
#include "engine/formats/twavfile.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "engine/core/prompter.h"

namespace tessal {
namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct tbytewriter {
    std::uint8_t* p;
    void id(const char* s) {
        std::memcpy(p, s, 4);
        p += 4;
    }
    void u16(std::uint16_t v) {
        *p++ = static_cast<std::uint8_t>(v);
        *p++ = static_cast<std::uint8_t>(v >> 8);
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) *p++ = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void tag(const ttag& t) {
        u16(t.formattag);
        u16(t.nchans);
        u32(t.sampfreq);
        u32(t.bytespersec);
        u16(t.blockalign);
        u16(t.bitspersample);
    }
    // The RIFF header up to the end of a "fmt " chunk of fmtsize bytes
    // that starts with the tag.
    void riff_fmt(std::uint32_t riffsize, std::uint32_t fmtsize, const ttag& t) {
        id("RIFF");
        u32(riffsize);
        id("WAVE");
        id("fmt ");
        u32(fmtsize);
        tag(t);
    }
};

// Reading and writing move this many bytes per call: large enough that the
// call overhead vanishes, small enough that a block stays in the cache while
// it is converted.
constexpr std::size_t block_bytes = 1 << 18;
// A long save hands its data to the disk in parts of this size.
constexpr std::uint64_t writeback_bytes = 8u << 20;

std::uint16_t format_tag_of(tFormat f) {
    switch (f) {
        case tFormat::pcm: return 1;
        case tFormat::ieeefloat: return 3;
        case tFormat::alaw: return 6;
        case tFormat::ulaw: return 7;
    }
    return 1;
}

std::string number_text(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

}  // namespace

ttagexlong ttagexlong::from_bytes(const std::uint8_t* p) {
    ttagexlong r;
    r.tag.formattag = le16(p);
    r.tag.nchans = le16(p + 2);
    r.tag.sampfreq = le32(p + 4);
    r.tag.bytespersec = le32(p + 8);
    r.tag.blockalign = le16(p + 12);
    r.tag.bitspersample = le16(p + 14);
    r.cbsize = le16(p + 16);
    r.wValidBitsPerSample = le16(p + 18);
    r.dwChannelMask = le32(p + 20);
    std::memcpy(r.subformat.data(), p + 24, 16);
    return r;
}

std::array<std::uint8_t, twavhead::size> twavhead::bytes() const {
    std::array<std::uint8_t, size> b{};
    tbytewriter w{b.data()};
    w.riff_fmt(riffsize, 16, tag);
    w.id("data");
    w.u32(datasize);
    return b;
}

std::array<std::uint8_t, twavheadex::size> twavheadex::bytes() const {
    std::array<std::uint8_t, size> b{};
    tbytewriter w{b.data()};
    w.riff_fmt(riffsize, 18, tag);
    w.u16(cbsize);
    w.id("fact");
    w.u32(4);
    w.u32(numsamples);
    w.id("data");
    w.u32(datasize);
    return b;
}

TWavFile::TWavFile(tprompter* prompter) : fprompter(prompter), frandom(std::random_device{}()) {}

TWavFile::~TWavFile() { close_file(); }

std::int32_t TWavFile::Getsftot() const {
    const std::int64_t v = static_cast<std::int64_t>(fsampfreq) * fnchans;
    if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
        throw EWavFileError("Integer overflow: sampling frequency " + std::to_string(fsampfreq) + " x " +
                            std::to_string(fnchans) + " channels");
    return static_cast<std::int32_t>(v);
}

void TWavFile::Setnchans(std::int32_t v) {
    fnchans = v < 0 ? 0 : v;
    ffullscale.resize(static_cast<std::size_t>(fnchans), 1.0);
}

double TWavFile::Gettottime() const {
    return fsampfreq == 0 ? 0.0 : static_cast<double>(fnsamples) / fsampfreq;
}

double TWavFile::Getfullscale(std::int64_t channo) const {
    if (channo < 0 || channo >= static_cast<std::int64_t>(ffullscale.size())) return 0.0;
    return ffullscale[static_cast<std::size_t>(channo)];
}

void TWavFile::Setfullscale(std::int64_t channo, double value) {
    if (channo < 0) return;
    if (channo >= static_cast<std::int64_t>(ffullscale.size()))
        ffullscale.resize(static_cast<std::size_t>(channo) + 1, 1.0);
    ffullscale[static_cast<std::size_t>(channo)] = value;
}

void TWavFile::debug(const std::string& text) {
    if (fprompter) fprompter->ask(text, "DEBUG", tbuttons::ok, ticon::information);
}

void TWavFile::close_file() {
    if (ffile) std::fclose(ffile);
    ffile = nullptr;
    isopen = false;
    fcache.clear();
    fcachestate.clear();
}

bool TWavFile::fail_open(const std::string& why) {
    close_file();
    fopenerror = why;
    return false;
}

bool TWavFile::open_file(const std::string& fname, bool readonly) {
    close_file();
    if (!fname.empty()) ffilename = fname;
    fopenerror.clear();
    datastartpos = -1;
    fstateddatasize = 0;
    fcoding = twavcoding::none;
    ftagknown = false;
    isreadonly = readonly;
    bool result = true;
    std::string why;

    auto not_riff = [&](const std::string& reason) {
        fnsamples = 0;
        Setnchans(0);
        fsampfreq = 1;
        return fail_open(reason);
    };

    errno = 0;
    ffile = std::fopen(ffilename.c_str(), readonly ? "rb" : "r+b");
    if (!ffile && !readonly && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        // Nothing is written through this handle: a write-protected
        // recording still opens, as read-only.
        ffile = std::fopen(ffilename.c_str(), "rb");
        isreadonly = ffile != nullptr;
    }
    if (!ffile) return not_riff("Cannot open file " + ffilename + "\r" + os_error_text(errno));
    isopen = true;

    // The file length bounds every size the file states.
    std::int64_t filesize = 0;
    if (std::fseek(ffile, 0, SEEK_END) == 0) filesize = std::ftell(ffile);
    if (filesize < 0 || std::fseek(ffile, 0, SEEK_SET) != 0)
        return not_riff("Cannot read file " + ffilename + "\r" + os_error_text(errno));

    std::uint8_t head[8];
    if (std::fread(head, 1, 8, ffile) < 8 || std::memcmp(head, "RIFF", 4) != 0)
        return not_riff(ffilename + " is not a RIFF WAVE file");
    std::int64_t riffsize = le32(head + 4);
    if (riffsize == 0) riffsize = filesize - 8;  // still being recorded

    std::uint8_t form[4];
    if (std::fread(form, 1, 4, ffile) < 4 || std::memcmp(form, "WAVE", 4) != 0) {
        result = false;
        why = ffilename + " is a RIFF file but not a WAVE file";
    }

    // Walk the chunks once, taking the first "fmt " and the first "data".
    // Chunks are padded to even sizes. The walk ends when the RIFF size is
    // used up or the file ends, so it is bounded by the file's length.
    std::uint8_t rec[ttagexlong::size] = {};
    bool fmtfound = false;
    bool datafound = false;
    std::int64_t datasize = 0;
    std::int64_t remaining = riffsize - 4;
    std::int64_t pos = 12;
    while (remaining >= 8 && !(fmtfound && datafound)) {
        if (std::fseek(ffile, static_cast<long>(pos), SEEK_SET) != 0) break;
        std::uint8_t ch[8];
        if (std::fread(ch, 1, 8, ffile) < 8) break;
        const std::int64_t size = le32(ch + 4);
        pos += 8;
        remaining -= 8;
        std::int64_t skip = size + (size & 1);
        if (!fmtfound && std::memcmp(ch, "fmt ", 4) == 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(size, ttagexlong::size));
            if (std::fread(rec, 1, want, ffile) < want) {
                result = false;
                if (why.empty()) why = "The format chunk of " + ffilename + " is cut short";
            }
            fmtfound = true;
        } else if (!datafound && std::memcmp(ch, "data", 4) == 0) {
            datastartpos = pos;
            datasize = size == 0 ? filesize - pos : size;
            datafound = true;
            if (size == 0) break;  // runs to the end of the file
        }
        pos += skip;
        remaining -= skip;
    }

    wavheadexlong = ttagexlong::from_bytes(rec);
    const ttag& t = wavheadexlong.tag;
    const std::uint16_t code = t.formattag == 65534 ? wavheadexlong.subformat_code() : t.formattag;
    formatstr = std::to_string(t.formattag);
    if (t.formattag == 65534) formatstr += " / " + std::to_string(code);
    const std::uint32_t bits = t.bitspersample;
    bool bitsok = true;
    ftagknown = true;
    switch (code) {
        case 1: fformat = tFormat::pcm; bitsok = bits == 8 || bits == 16 || bits == 24 || bits == 32; break;
        case 3: fformat = tFormat::ieeefloat; bitsok = bits == 16 || bits == 32; break;
        case 7: fformat = tFormat::ulaw; bitsok = bits == 8; break;
        case 6: fformat = tFormat::alaw; bitsok = bits == 8; break;
        default: ftagknown = false; break;
    }

    Setnchans(t.nchans);
    std::fill(ffullscale.begin(), ffullscale.end(), 1.0);
    fnbits = bits;
    fsampfreq = static_cast<std::int32_t>(std::min<std::uint32_t>(t.sampfreq, 0x7FFFFFFF));
    fstateddatasize = datafound ? static_cast<std::uint32_t>(std::min<std::int64_t>(datasize, 0xFFFFFFFF)) : 0;
    // A size beyond the end of the file (a truncated copy, a recorder's
    // placeholder) reads what is there.
    const std::int64_t available = datafound ? std::max<std::int64_t>(0, filesize - datastartpos) : 0;
    const std::int64_t databytes = std::min(datasize, available);
    fcoding = ftagknown ? wav_coding(bits, fformat) : twavcoding::none;

    // The first of these problems is the one reported.
    auto refuse = [&](const std::string& reason) {
        result = false;
        if (why.empty()) why = reason;
    };
    if (!fmtfound) refuse(ffilename + " has no format chunk");
    if (t.nchans == 0) refuse(ffilename + " has no channels");
    if (bits < 8) refuse(ffilename + " has fewer than 8 bits per sample");
    if (!bitsok) refuse(format_message());
    if (t.sampfreq == 0 || t.sampfreq > 0x7FFFFFFF)
        refuse(ffilename + " has an impossible sampling frequency of " + std::to_string(t.sampfreq) + " Hz");
    if (!datafound) {
        debug("Datastartpos: " + std::to_string(datastartpos));
        refuse(ffilename + " has no \"data\" chunk");
    }
    // A damaged channel count (a file's bytes 22-23) must not become tens
    // of thousands of empty channels: the header's frame size and the data
    // itself both bound the channels a file can hold.
    if (t.nchans > 0 && bits >= 8) {
        const std::int64_t framebytes = static_cast<std::int64_t>(t.nchans) * (bits / 8);
        const std::string claim = ffilename + " is damaged: its header gives " +
                                  std::to_string(t.nchans) + " channels of " + std::to_string(bits) +
                                  " bits, ";
        if (t.blockalign != 0 && t.blockalign < framebytes)
            refuse(claim + "but frames of " + std::to_string(t.blockalign) + " bytes, which hold " +
                   std::to_string(t.blockalign / (bits / 8)) + " at most");
        else if (databytes > 0 && databytes < framebytes)
            refuse(claim + "more than its " + std::to_string(databytes) + " bytes of samples can hold");
    }
    fnsamples = t.nchans == 0 || bits < 8 ? 0 : databytes / (bits / 8) / t.nchans;
    if (!result) return fail_open(why);
    fcachestate.assign(static_cast<std::size_t>(fnchans), 0);
    fcache.assign(static_cast<std::size_t>(fnchans), tsinglearr{});
    return true;
}

std::string TWavFile::format_message() const {
    return "Cannot read wav file of this format:\rBits per sample: " + std::to_string(fnbits) +
           "\rNumber of channels: " + std::to_string(fnchans) + "\rSample rate: " + std::to_string(fsampfreq) +
           "\rFormat tag: " + formatstr;
}

void TWavFile::check_readable(int channo, bool asinteger) const {
    if (!isopen || !ffile) throw EWavFileError("Wav file is not open.");
    if (fcoding == twavcoding::none || (asinteger && wav_coding_is_float(fcoding)))
        throw EWavFileError(format_message());
    if (channo < 0 || channo >= fnchans)
        throw EWavFileError("Channel " + std::to_string(channo) + " does not exist in " + ffilename + ", which has " +
                            std::to_string(fnchans) + (fnchans == 1 ? " channel" : " channels"));
}

void TWavFile::seek_data() {
    if (std::fseek(ffile, static_cast<long>(datastartpos), SEEK_SET) != 0)
        throw EWavFileError("Cannot read file " + ffilename + "\r" + os_error_text(errno));
}

void TWavFile::read_channel(int channo, tsinglearr& arr) {
    check_readable(channo, false);
    const auto c = static_cast<std::size_t>(channo);
    if (fcachestate[c] == 1) {
        arr = std::move(fcache[c]);
        fcache[c] = tsinglearr{};
        fcachestate[c] = 2;
        return;
    }
    const std::size_t nch = static_cast<std::size_t>(fnchans);
    const std::size_t bps = static_cast<std::size_t>(wav_coding_bytes(fcoding));
    const std::size_t stride = nch * bps;
    const std::size_t perblock = std::max<std::size_t>(1, block_bytes / stride);
    const std::int64_t expected = fnsamples;

    // This channel, and every channel nobody has asked for yet.
    std::vector<std::size_t> want;
    for (std::size_t ch = 0; ch < nch; ++ch)
        if (ch == c || fcachestate[ch] == 0) want.push_back(ch);
    std::vector<tsinglearr*> dest(nch, nullptr);
    for (std::size_t ch : want) {
        tsinglearr& d = ch == c ? arr : fcache[ch];
        d.clear();
        d.reserve(static_cast<std::size_t>(expected));
        dest[ch] = &d;
    }
    std::vector<float*> out(nch, nullptr);
    std::vector<std::uint8_t> buf(perblock * stride);

    seek_data();
    std::int64_t taken = 0;
    while (taken < expected) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(expected - taken, perblock));
        const std::size_t got = std::fread(buf.data(), 1, n * stride, ffile);
        const std::size_t frames = got / stride;
        // Growing by one block at a time zero-fills memory that is in the
        // cache at that moment and is overwritten there at once.
        for (std::size_t ch : want) {
            tsinglearr& d = *dest[ch];
            const std::size_t old = d.size();
            d.resize(old + frames);
            out[ch] = d.data() + old;
        }
        decode_frames(fcoding, buf.data(), frames, fnchans, out.data());
        taken += static_cast<std::int64_t>(frames);
        if (got < n * stride) {
            if (std::ferror(ffile)) {
                const int code = errno;
                for (std::size_t ch : want)
                    if (ch != c) fcache[ch] = tsinglearr{};
                throw EWavFileError("Error reading file " + ffilename + "\r" + os_error_text(code));
            }
            break;  // the file became shorter since it was opened
        }
    }
    if (taken != expected)
        debug("arrcount<>length(arr): " + std::to_string(taken) + " vs " + std::to_string(expected));
    fnsamples = taken;
    for (std::size_t ch : want) fcachestate[ch] = ch == c ? 2 : 1;
}

bool TWavFile::read_channels(std::vector<tsinglearr>& out, const treadpass& pass) { return read_pass(&out, pass); }

bool TWavFile::scan_channels(const treadpass& pass) { return read_pass(nullptr, pass); }

bool TWavFile::read_pass(std::vector<tsinglearr>* keep, const treadpass& pass) {
    check_readable(0, false);
    const std::size_t nch = static_cast<std::size_t>(fnchans);
    const std::size_t bps = static_cast<std::size_t>(wav_coding_bytes(fcoding));
    const std::size_t stride = nch * bps;
    const std::size_t align = std::max<std::size_t>(1, pass.align);
    const std::size_t perblock = std::max(align, block_bytes / stride / align * align);
    const std::int64_t expected = fnsamples;

    if (keep) {
        keep->resize(nch);
        for (auto& a : *keep) a.resize_for_overwrite(static_cast<std::size_t>(expected));
    }
    std::vector<std::uint8_t> buf(perblock * stride);

    // Thread t decodes channels t, t + nthreads, ...; the threads meet
    // twice per block: once the block is read, once it is decoded.
    const int nthreads = static_cast<int>(std::clamp<std::size_t>(
        static_cast<std::size_t>(std::max(1, pass.threads)), 1, nch));
    std::size_t blockfirst = 0, blockframes = 0;
    bool finished = false;
    std::barrier<> meet(nthreads);
    // Without arrays to keep, each thread decodes its channels of a block
    // into a buffer of its own (a block's worth per channel), visits them
    // and reuses the buffer for the next block.
    std::vector<std::vector<float>> scratch(static_cast<std::size_t>(nthreads));
    if (!keep)
        for (int t = 0; t < nthreads; ++t) {
            const std::size_t count = (nch - static_cast<std::size_t>(t) + static_cast<std::size_t>(nthreads) - 1) /
                                      static_cast<std::size_t>(nthreads);
            scratch[static_cast<std::size_t>(t)].resize(count * perblock);
        }
    auto decode_part = [&](int t) {
        std::vector<float*> outs(nch, nullptr);
        std::vector<int> mine;
        std::vector<const float*> samples;
        float* own = scratch[static_cast<std::size_t>(t)].data();
        for (std::size_t ch = static_cast<std::size_t>(t); ch < nch; ch += static_cast<std::size_t>(nthreads)) {
            outs[ch] = keep ? (*keep)[ch].data() + blockfirst : own + mine.size() * perblock;
            mine.push_back(static_cast<int>(ch));
            samples.push_back(outs[ch]);
        }
        decode_frames(fcoding, buf.data(), blockframes, fnchans, outs.data());
        if (pass.visit) pass.visit(blockfirst, blockframes, mine.data(), samples.data(), static_cast<int>(mine.size()));
    };
    std::vector<std::jthread> helpers;
    for (int t = 1; t < nthreads; ++t)
        helpers.emplace_back([&, t] {
            for (;;) {
                meet.arrive_and_wait();
                if (finished) return;
                decode_part(t);
                meet.arrive_and_wait();
            }
        });
    auto stop_helpers = [&] {
        finished = true;
        if (!helpers.empty()) meet.arrive_and_wait();
        helpers.clear();
    };

    std::int64_t taken = 0;
    bool stopped = false;
    std::string failure;
    try {
    seek_data();
    while (taken < expected) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(expected - taken, perblock));
        const std::size_t got = std::fread(buf.data(), 1, n * stride, ffile);
        const std::size_t frames = got / stride;
        if (frames > 0) {
            blockfirst = static_cast<std::size_t>(taken);
            blockframes = frames;
            if (!helpers.empty()) meet.arrive_and_wait();
            decode_part(0);
            if (!helpers.empty()) meet.arrive_and_wait();
            taken += static_cast<std::int64_t>(frames);
        }
        if (got < n * stride) {
            if (std::ferror(ffile)) failure = "Error reading file " + ffilename + "\r" + os_error_text(errno);
            break;  // otherwise the file became shorter since it was opened
        }
        if (pass.progress && !pass.progress(taken, expected)) {
            stopped = true;
            break;
        }
    }
    } catch (...) {
        stop_helpers();
        throw;
    }
    stop_helpers();
    if (keep)
        for (auto& a : *keep) a.resize(static_cast<std::size_t>(taken));
    if (!failure.empty()) throw EWavFileError(failure);
    if (stopped) return false;
    if (taken != expected)
        debug("arrcount<>length(arr): " + std::to_string(taken) + " vs " + std::to_string(expected));
    fnsamples = taken;
    std::fill(fcachestate.begin(), fcachestate.end(), std::uint8_t{2});
    return true;
}

void TWavFile::read_channel(int channo, tintarr& arr) {
    check_readable(channo, true);
    const std::size_t bps = static_cast<std::size_t>(wav_coding_bytes(fcoding));
    const std::size_t stride = static_cast<std::size_t>(fnchans) * bps;
    const std::size_t perblock = std::max<std::size_t>(1, block_bytes / stride);
    const std::int64_t expected = fnsamples;
    arr.clear();
    arr.reserve(static_cast<std::size_t>(expected));
    std::vector<std::int32_t> tmp(perblock);
    std::vector<std::uint8_t> buf(perblock * stride);
    seek_data();
    std::int64_t taken = 0;
    while (taken < expected) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(expected - taken, perblock));
        const std::size_t got = std::fread(buf.data(), 1, n * stride, ffile);
        const std::size_t frames = got / stride;
        decode_frames_int(fcoding, buf.data(), frames, fnchans, channo, tmp.data());
        arr.insert(arr.end(), tmp.data(), tmp.data() + frames);
        taken += static_cast<std::int64_t>(frames);
        if (got < n * stride) {
            if (std::ferror(ffile)) throw EWavFileError("Error reading file " + ffilename + "\r" + os_error_text(errno));
            break;
        }
    }
    if (taken != expected)
        debug("arrcount<>length(arr): " + std::to_string(taken) + " vs " + std::to_string(expected));
    fnsamples = taken;
}

template <class T, class Fill, class Encode>
void TWavFile::save_frames(const std::string& fname, std::size_t nch, std::size_t longest, bool safe,
                           twavcoding coding, Fill fill, Encode encode) {
    if (coding == twavcoding::none) throw EWavFileError("Invalid file type (nbits=" + std::to_string(fnbits) + ")");
    if (!fname.empty()) ffilename = fname;
    if (ffilename.empty()) throw EWavFileError("Cannot save a wav file without a file name");
    if (nch == 0) throw EWavFileError("Cannot save a wav file without channels");
    const std::size_t bps = static_cast<std::size_t>(wav_coding_bytes(coding));
    if (nch * bps > 65535)
        throw EWavFileError("Cannot save " + std::to_string(nch) + " channels of " +
                            std::to_string(fnbits) + " bits in a wav file");
    if (fsampfreq <= 0)
        throw EWavFileError("Cannot save a wav file with a sampling frequency of " + std::to_string(fsampfreq) + " Hz");

    const std::size_t stride = nch * bps;
    const bool extended = fformat == tFormat::ieeefloat || nch > 2 || fnbits > 16;
    const std::uint64_t headersize = extended ? twavheadex::size : twavhead::size;
    const std::uint64_t datasize = static_cast<std::uint64_t>(longest) * stride;
    const std::uint64_t bytespersec = static_cast<std::uint64_t>(fsampfreq) * stride;
    if (datasize + headersize - 8 > 0xFFFFFFFFull || static_cast<std::uint64_t>(longest) * nch > 0xFFFFFFFFull)
        throw EWavFileError("Cannot save " + std::to_string(datasize) +
                            " bytes of samples: a wav file holds at most 4 GB");
    if (bytespersec > 0xFFFFFFFFull)
        throw EWavFileError("Cannot save a wav file of " + std::to_string(bytespersec) + " bytes per second");

    Setnchans(static_cast<std::int32_t>(nch));
    fnsamples = static_cast<std::int64_t>(longest);
    ttag tag;
    tag.formattag = format_tag_of(fformat);
    tag.nchans = static_cast<std::uint16_t>(nch);
    tag.sampfreq = static_cast<std::uint32_t>(fsampfreq);
    tag.bytespersec = static_cast<std::uint32_t>(bytespersec);
    tag.blockalign = static_cast<std::uint16_t>(stride);
    tag.bitspersample = static_cast<std::uint16_t>(fnbits);
    std::vector<std::uint8_t> header;
    if (extended) {
        wavheadex = twavheadex{};
        wavheadex.riffsize = static_cast<std::uint32_t>(datasize + 50);
        wavheadex.tag = tag;
        wavheadex.numsamples = static_cast<std::uint32_t>(nch * longest);
        wavheadex.datasize = static_cast<std::uint32_t>(datasize);
        const auto b = wavheadex.bytes();
        header.assign(b.begin(), b.end());
    } else {
        wavhead = twavhead{};
        wavhead.riffsize = static_cast<std::uint32_t>(datasize + 36);
        wavhead.tag = tag;
        wavhead.datasize = static_cast<std::uint32_t>(datasize);
        const auto b = wavhead.bytes();
        header.assign(b.begin(), b.end());
    }

    const auto number = static_cast<std::uint32_t>(std::uniform_int_distribution<int>(0, 10000)(frandom));
    tsafefile out(ffilename, safe, number, *ffileops);
    const bool headerok = out.write(header.data(), header.size()) == header.size();
    std::uint64_t written = 0, writeback = 0;
    if (headerok) {
        const std::size_t perblock = std::max<std::size_t>(1, block_bytes / stride);
        std::vector<std::uint8_t> buf(perblock * stride);
        tblockinput<T> block;
        block.in.resize(nch);
        block.count.resize(nch);
        for (std::size_t start = 0; start < longest; start += perblock) {
            const std::size_t n = std::min(perblock, longest - start);
            fill(block, start, n);
            encode(block, n, buf.data());
            const std::size_t bytes = n * stride;
            const std::size_t done = out.write(buf.data(), bytes);
            written += done;
            if (done != bytes) break;
            // The disk starts on each part while the next is encoded.
            if (written - writeback >= writeback_bytes) {
                out.start_writeback();
                writeback = written;
            }
            if (save_progress && !save_progress(written, datasize)) out.cancel();
        }
    }
    const bool closed = out.close();
    if (!headerok || written != datasize || !closed)
        out.fail("Incomplete save, " + std::to_string(written) + " of " + std::to_string(datasize) +
                 " audio bytes written");
    out.replace();
}

namespace {

// Points each block at the channels' own arrays; a channel that has ended
// gives zeros.
template <class T>
auto span_fill(const std::vector<std::span<const T>>& channels) {
    return [&channels](tblockinput<T>& block, std::size_t start, std::size_t) {
        for (std::size_t ch = 0; ch < channels.size(); ++ch) {
            const std::size_t len = channels[ch].size();
            block.in[ch] = start < len ? channels[ch].data() + start : nullptr;
            block.count[ch] = start < len ? len - start : 0;
        }
    };
}

}  // namespace

template <class T, class Encode>
void TWavFile::save_frames(const std::string& fname, const std::vector<std::span<const T>>& channels, bool safe,
                           twavcoding coding, Encode encode) {
    std::size_t longest = 0;
    for (const auto& ch : channels) longest = std::max(longest, ch.size());
    save_frames<T>(fname, channels.size(), longest, safe, coding, span_fill(channels), encode);
}

template <class Fill>
void TWavFile::save_floats(const std::string& fname, std::size_t nch, std::size_t longest, bool safe, bool dither,
                           Fill fill) {
    const twavcoding coding = wav_coding(fnbits, fformat);
    std::vector<double> gain(nch, 1.0);
    if (coding != twavcoding::none && !wav_coding_is_float(coding)) {
        double steps = 32768.0;
        if (coding == twavcoding::u8) steps = dither ? 125.0 : 127.0;
        if (coding == twavcoding::s24) steps = 8388608.0;
        if (coding == twavcoding::s32) steps = 2147483648.0;
        for (std::size_t ch = 0; ch < nch; ++ch) {
            const double f = std::fabs(Getfullscale(static_cast<std::int64_t>(ch)));
            if (!(f > 0) || !std::isfinite(f))
                throw EWavFileError("Cannot save channel " + std::to_string(ch) + ": its full scale is " +
                                    number_text(Getfullscale(static_cast<std::int64_t>(ch))));
            gain[ch] = steps / f;
        }
    }
    // A-law and mu-law are not dithered: their steps are far coarser than
    // any dither of one 16-bit step.
    tditherrng rng(frandom());
    tditherrng* d = dither && coding != twavcoding::alaw && coding != twavcoding::ulaw ? &rng : nullptr;
    save_frames<float>(fname, nch, longest, safe, coding, fill,
                       [&](const tblockinput<float>& b, std::size_t n, std::uint8_t* dst) {
                           encode_frames(coding, b, n, gain, d, dst);
                       });
}

void TWavFile::save_file(const std::string& fname, const std::vector<std::span<const float>>& channels, bool safe,
                         bool dither) {
    std::size_t longest = 0;
    for (const auto& ch : channels) longest = std::max(longest, ch.size());
    save_floats(fname, channels.size(), longest, safe, dither,
                span_fill(channels));
}

void TWavFile::save_file(const std::string& fname, std::size_t nchans, std::size_t length, const tsamplepull& pull,
                         bool safe, bool dither) {
    // One block's worth per channel, refilled for every block.
    std::vector<std::vector<float>> bufs(nchans);
    save_floats(fname, nchans, length, safe, dither,
                [&](tblockinput<float>& block, std::size_t start, std::size_t n) {
                    for (std::size_t ch = 0; ch < nchans; ++ch) {
                        if (bufs[ch].size() < n) bufs[ch].resize(n);
                        pull(ch, start, n, bufs[ch].data());
                        block.in[ch] = bufs[ch].data();
                        block.count[ch] = n;
                    }
                });
}

void TWavFile::save_file(const std::string& fname, const std::vector<tsinglearr>& channels, bool safe, bool dither) {
    std::vector<std::span<const float>> spans(channels.begin(), channels.end());
    save_file(fname, spans, safe, dither);
}

void TWavFile::save_file(const std::string& fname, const std::vector<tsmallintarr>& channels, bool safe,
                         bool dither) {
    const twavcoding coding = fnbits == 16 && fformat == tFormat::pcm ? twavcoding::s16 : twavcoding::none;
    std::vector<std::span<const std::int16_t>> spans(channels.begin(), channels.end());
    tditherrng rng(frandom());
    save_frames<std::int16_t>(fname, spans, safe, coding,
                              [&](const tblockinput<std::int16_t>& b, std::size_t n, std::uint8_t* dst) {
                                  encode_frames(coding, b, n, dither ? &rng : nullptr, dst);
                              });
}

void TWavFile::save_file(const std::string& fname, const std::vector<tint24arr>& channels, bool safe, bool dither) {
    const twavcoding coding = fnbits == 24 && fformat == tFormat::pcm ? twavcoding::s24 : twavcoding::none;
    std::vector<std::span<const tint24>> spans(channels.begin(), channels.end());
    tditherrng rng(frandom());
    save_frames<tint24>(fname, spans, safe, coding,
                        [&](const tblockinput<tint24>& b, std::size_t n, std::uint8_t* dst) {
                            encode_frames(coding, b, n, dither ? &rng : nullptr, dst);
                        });
}

}  // namespace tessal
