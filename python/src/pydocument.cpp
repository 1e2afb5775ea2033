#include "pydocument.h"

#include "engine/core/prompter.h"
#include "engine/process/processjob.h"

namespace tessal::pymodule {

std::string plain_text(const std::string& s) { return with_newlines(s); }

tpydocument::tpydocument() : tbatchdocument(true) {
    // A script reads samples, it does not draw them: opening a WAVE file
    // reads its header only, and the drawing overview is left to be built
    // if anything asks for it.
    files.overview = false;
}

void tpydocument::open(const std::vector<std::string>& paths) {
    if (paths.empty()) throw terror("no file to open");
    prompter.forget();
    const int unread = tbatchdocument::open(paths);
    if (unread >= 0) throw terror(reason("cannot read " + paths[static_cast<std::size_t>(unread)]));
}

void tpydocument::open_more(const std::string& path) {
    const int before = doc.totnchans();
    prompter.forget();
    if (!files.add_file(path) || doc.totnchans() == before) throw terror(reason("cannot read " + path));
}

void tpydocument::save(const std::string& path, const std::optional<std::string>& format, bool yes) {
    std::string why;
    const tsavefilter* row = save_row(path, format, why);
    if (!row) throw terror(why);
    prompter.set_yes(yes);
    prompter.forget();
    const bool ok = tbatchdocument::save(path, *row, !format);
    prompter.set_yes(true);
    if (!ok) throw terror(reason("cannot write " + path));
}

std::string tpydocument::run(const std::string& procpath) {
    tprocsteps steps;
    std::string why;
    if (!read_process_steps(procpath, doc.prefs.DefaultSampFreq, steps, why)) throw terror(why);
    tprocrunner runner;
    const tprocessrun r = run_process_steps(*this, steps, runner);
    if (!r.ok) throw terror(r.message);
    // A step that went on without a channel it named did not do what the
    // process says.
    if (!r.missing.empty()) throw terror(r.missing.front());
    return r.notes;
}

tchannel& tpydocument::channel(long long channo) {
    if (channo < 0 || channo >= doc.totnchans())
        throw terror("channel " + std::to_string(channo) + " does not exist (the file has " +
                     std::to_string(doc.totnchans()) + ")");
    return doc.channel(static_cast<int>(channo));
}

tchannel& tpydocument::sampled_channel(long long channo) {
    tchannel& ch = channel(channo);
    if (!(ch.sampfreq > 0)) throw terror("the channel has no sampling rate");
    return ch;
}

std::string run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                            const std::string& out, const std::optional<std::string>& format, bool yes) {
    // The document tessal-cli makes: its open builds the drawing overview
    // as tessal-cli's does, so the two write the same file.
    tbatchdocument d(yes);
    const tprocessjobresult r = run_process_job(d, tprocessjob{procpath, inputs, out, format, {}});
    if (r.status != tjobstatus::ok) throw terror(r.message);
    return r.notes;
}

}  // namespace tessal::pymodule
