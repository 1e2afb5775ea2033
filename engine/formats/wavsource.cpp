// twavsource (see wavsource.h): positioned reads of whole frames through
// tfileops, decoded by the reader's own decode_frames.
#include "engine/formats/wavsource.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/formats/twavfile.h"

namespace tessal {
namespace {

// Bytes read at a time; a block of 64 K samples of many channels is read
// in pieces so the buffer stays small.
constexpr std::size_t chunk_bytes = 1 << 18;

}  // namespace

twavhandle::twavhandle(twavlayout layout, tfileops& ops) : layout_(std::move(layout)), ops_(ops) {
    const std::string& name = layout_.filename;
    if (layout_.coding == twavcoding::none || layout_.nchans <= 0)
        throw EWavFileError("Cannot read the samples of " + name + ": its coding is not one this program decodes");
    if (layout_.datastart < 0 || layout_.frames < 0)
        throw EWavFileError("Cannot read the samples of " + name + ": it has no data chunk");
    stride_ = static_cast<std::size_t>(layout_.nchans) * static_cast<std::size_t>(wav_coding_bytes(layout_.coding));
    errno = 0;
    file_ = ops_.open(name, "rb");
    if (!file_) throw EWavFileError("Cannot open file " + name + "\r" + os_error_text(errno));
    // Reads go straight to the file: no second copy through a stream buffer.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    const std::int64_t need = layout_.datastart + layout_.frames * static_cast<std::int64_t>(stride_);
    const std::int64_t have = ops_.size(file_);
    if (have < need) {
        ops_.close(file_);
        file_ = nullptr;
        throw EWavFileError("File " + name + " became shorter since it was opened: its samples need " +
                            std::to_string(need) + " bytes, it has " + std::to_string(std::max<std::int64_t>(0, have)));
    }
}

twavhandle::~twavhandle() {
    if (file_) ops_.close(file_);
}

void twavhandle::read(int channo, std::int64_t from, std::size_t n, float* out) const {
    const std::string& name = layout_.filename;
    if (channo < 0 || channo >= layout_.nchans)
        throw EWavFileError("Channel " + std::to_string(channo) + " does not exist in " + name);
    const auto count = static_cast<std::int64_t>(n);
    if (from < 0 || count < 0 || from > layout_.frames || count > layout_.frames - from)
        throw EWavFileError("Cannot read samples " + std::to_string(from) + " to " + std::to_string(from + count) +
                            " of " + name + ", whose channels have " + std::to_string(layout_.frames));
    if (n == 0) return;

    const std::size_t perchunk = std::max<std::size_t>(1, chunk_bytes / stride_);
    std::vector<std::uint8_t> buf(std::min(n, perchunk) * stride_);
    std::vector<float*> dest(static_cast<std::size_t>(layout_.nchans), nullptr);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t frames = std::min(n - done, perchunk);
        const std::size_t want = frames * stride_;
        const std::int64_t pos =
            layout_.datastart + (from + static_cast<std::int64_t>(done)) * static_cast<std::int64_t>(stride_);
        std::size_t got = 0;
        int code = 0;
        bool failed = false;
        {
            std::lock_guard lock(mutex_);
            errno = 0;
            got = ops_.read_at(file_, pos, buf.data(), want);
            if (got < want) {
                code = errno;
                failed = std::ferror(file_) != 0;
                std::clearerr(file_);
            }
        }
        if (got < want) {
            if (failed || code != 0) throw EWavFileError("Error reading file " + name + "\r" + os_error_text(code));
            throw EWavFileError("File " + name + " became shorter since it was opened: sample " +
                                std::to_string(from + static_cast<std::int64_t>(done + got / stride_)) +
                                " and those after it are gone");
        }
        dest[static_cast<std::size_t>(channo)] = out + done;
        decode_frames(layout_.coding, buf.data(), frames, layout_.nchans, dest.data());
        done += frames;
    }
}

twavsource::twavsource(std::shared_ptr<const twavhandle> file, int channo) : file_(std::move(file)), channo_(channo) {
    if (!file_) throw EWavFileError("A WAVE channel source needs a file");
    if (channo_ < 0 || channo_ >= file_->layout().nchans)
        throw EWavFileError("Channel " + std::to_string(channo_) + " does not exist in " + file_->layout().filename);
}

void twavsource::read(std::int64_t from, std::size_t n, float* out) const { file_->read(channo_, from, n, out); }

std::vector<std::shared_ptr<twavsource>> wav_sources(const TWavFile& wav, tfileops& ops) {
    if (!wav.Getisopen()) throw EWavFileError("Wav file is not open.");
    auto file = std::make_shared<const twavhandle>(twavlayout{.filename = wav.Getfilename(),
                                                              .datastart = wav.Getdatastartpos(),
                                                              .frames = wav.Getnsamples(),
                                                              .nchans = wav.Getnchans(),
                                                              .coding = wav.Getcoding()},
                                                   ops);
    std::vector<std::shared_ptr<twavsource>> r;
    r.reserve(static_cast<std::size_t>(file->layout().nchans));
    for (int c = 0; c < file->layout().nchans; ++c) r.push_back(std::make_shared<twavsource>(file, c));
    return r;
}

tsamplestore wav_store(std::shared_ptr<twavsource> source, std::shared_ptr<tblockcache> cache) {
    tsamplestore s(std::move(cache));
    const std::int64_t n = source->size();
    s.append_source(std::move(source), 0, n);
    return s;
}

}  // namespace tessal
