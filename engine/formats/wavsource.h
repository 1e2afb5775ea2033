// One channel of a WAVE file as a sample source of the block store: the
// samples stay in the file and are decoded when a block is read, so a long
// recording can be opened without holding it in memory.
//
// wav_sources() takes what TWavFile found in the header (the data chunk's
// place and frame count, channel count and coding) and opens the file once
// more, read-only, through tfileops; all channels of one file share that
// handle. twavsource::read gives, bit for bit, the floats read_channel puts
// in the channel (the same decode_frames; the reader applies no scaling
// after decoding, every full scale being 1 after an open).
//
// Errors throw EWavFileError with a text naming the file: a span outside
// the channel, a file that became shorter since it was opened, a read
// error. read() may be called from several threads at once: the positioned
// reads on the shared handle take turns under a mutex, decoding happens
// outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/formats/safereplace.h"
#include "engine/formats/wavsamples.h"
#include "engine/store/blocks.h"
#include "engine/store/samplestore.h"

namespace tessal {

class TWavFile;

// Where a WAVE file's samples are: what a source needs of the header.
struct twavlayout {
    std::string filename;
    std::int64_t datastart = 0;  // byte position of the first frame
    std::int64_t frames = 0;     // samples per channel
    int nchans = 0;
    twavcoding coding = twavcoding::none;
};

// The open file the sources of one WAVE file share.
class twavhandle {
public:
    // Opens `layout.filename` read-only through `ops` (which must outlive
    // the handle) and checks that it still holds all the frames. Throws
    // EWavFileError when it cannot be opened or is too short, or when the
    // layout is not one this reader decodes.
    twavhandle(twavlayout layout, tfileops& ops = tfileops::system());
    ~twavhandle();
    twavhandle(const twavhandle&) = delete;
    twavhandle& operator=(const twavhandle&) = delete;

    const twavlayout& layout() const { return layout_; }
    // Decodes samples from..from+n of channel `channo` into out[0..n).
    void read(int channo, std::int64_t from, std::size_t n, float* out) const;

private:
    twavlayout layout_;
    std::size_t stride_ = 0;  // bytes per frame
    tfileops& ops_;
    std::FILE* file_ = nullptr;
    mutable std::mutex mutex_;  // the handle's position is shared
};

class twavsource : public tsamplesource {
public:
    twavsource(std::shared_ptr<const twavhandle> file, int channo);

    void read(std::int64_t from, std::size_t n, float* out) const override;
    std::int64_t size() const { return file_->layout().frames; }
    int channel() const { return channo_; }
    const std::string& filename() const { return file_->layout().filename; }

private:
    std::shared_ptr<const twavhandle> file_;
    int channo_;
};

// One source per channel of an opened WAVE file, sharing one handle.
// Throws EWavFileError when `wav` is not open, its coding is one the
// reader cannot decode, or the file cannot be opened again.
std::vector<std::shared_ptr<twavsource>> wav_sources(const TWavFile& wav, tfileops& ops = tfileops::system());

// A store of the source's samples, as blocks that read the file when
// accessed; nothing is read now.
tsamplestore wav_store(std::shared_ptr<twavsource> source,
                       std::shared_ptr<tblockcache> cache = tblockcache::process());

}  // namespace tessal
