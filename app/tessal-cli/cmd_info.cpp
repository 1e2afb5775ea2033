// tessal-cli info FILE...: what each file holds, read as the program reads it.
#include <cstdio>

#include "commands.h"
#include "engine/dsp/numformat.h"

namespace tessal::cli {

namespace {

const char* coding_name(tFormat f) {
    switch (f) {
        case tFormat::pcm: return "pcm";
        case tFormat::ieeefloat: return "ieeefloat";
        case tFormat::ulaw: return "ulaw";
        case tFormat::alaw: return "alaw";
    }
    return "?";
}

}  // namespace

int cmd_info(int argc, char** argv) {
    targs a;
    if (!parse_args(argc, argv, 2, {}, {}, a)) return exit_usage;
    if (a.positional.empty()) {
        std::fputs("usage: tessal-cli info FILE...\n", stderr);
        return exit_usage;
    }
    int rc = exit_ok;
    for (const std::string& path : a.positional) {
        tclidocument d(true);
        // The RMS below comes from the reading pass itself.
        d.files.keep_stats = true;
        if (!d.open({path})) {
            rc = d.prompter.refused() ? exit_usage : exit_input;
            continue;
        }
        const tdocument& doc = d.doc;
        const tchannel& c0 = doc.channel(0);
        long long frames = 0;
        bool split = false;
        for (int i = 0; i < doc.totnchans(); ++i) {
            frames = std::max<long long>(frames, doc.channel(i).sample_count());
            split = split || doc.channel(i).sampfreq != c0.sampfreq;
        }
        std::printf("%s\n", path.c_str());
        std::printf("  coding: %s\n", coding_name(c0.format));
        std::printf("  bits: %d\n", c0.nbits);
        std::printf("  rate: %s Hz%s\n", float_to_text(c0.sampfreq).c_str(),
                    split ? " (channels differ)" : "");
        std::printf("  channels: %d\n", doc.totnchans());
        std::printf("  frames: %lld\n", frames);
        std::printf("  duration: %s s\n", float_to_text(doc.last_time() - doc.first_time()).c_str());
        for (int i = 0; i < doc.totnchans(); ++i) {
            const tchannel& c = doc.channel(i);
            std::printf("  channel %d: name \"%s\", unit \"%s\", fsd %s, peak %s, rms %s, labels %zu\n",
                        i, c.name().c_str(), c.yunit().c_str(), float_to_text(c.fsd()).c_str(),
                        format_significant(6, doc.file_peak_value(i)).c_str(),
                        format_significant(6, doc.file_rms_value(i)).c_str(), c.labels.size());
        }
    }
    return rc;
}

}  // namespace tessal::cli
