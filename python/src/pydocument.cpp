#include "pydocument.h"

#include <algorithm>
#include <filesystem>

#include "engine/formats/formatregistry.h"
#include "engine/formats/saveformats.h"
#include "engine/process/processfile.h"
#include "engine/process/procrunner.h"

namespace tessal::pymodule {

std::string plain_text(const std::string& s) {
    std::string t = s;
    std::replace(t.begin(), t.end(), '\r', '\n');
    return t;
}

tanswer tpyprompter::ask(const std::string& text, const std::string&, tbuttons buttons, ticon) {
    last = plain_text(text);
    if (buttons == tbuttons::ok) {
        notes.push_back(last);
        return tanswer::ok;
    }
    if (yes) return buttons == tbuttons::okcancel ? tanswer::ok : tanswer::yes;
    refused = true;
    return buttons == tbuttons::yesno ? tanswer::no : tanswer::cancel;
}

tpydocument::tpydocument() = default;

void tpydocument::open(const std::vector<std::string>& paths) {
    if (paths.empty()) throw terror("no file to open");
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const int before = doc.totnchans();
        prompter.last.clear();
        const bool ok = i == 0 ? (files.open_document(paths[i]) && doc.totnchans() > 0)
                               : files.add_file(paths[i]);
        if (!ok || doc.totnchans() == before)
            throw terror(prompter.last.empty() ? "cannot read " + paths[i] : prompter.last);
    }
}

void tpydocument::open_more(const std::string& path) {
    const int before = doc.totnchans();
    prompter.last.clear();
    if (!files.add_file(path) || doc.totnchans() == before)
        throw terror(prompter.last.empty() ? "cannot read " + path : prompter.last);
}

void tpydocument::save(const std::string& path, const std::optional<std::string>& format, bool yes) {
    const tsavefilter* row = format ? find_savefilter(files.savefilter, *format)
                                    : savefilter_for_extension(files.savefilter, lower_extension(path));
    if (!row)
        throw terror(format ? "no save format \"" + *format + "\""
                            : "no save format for the extension of " + path);
    tsavecoding coding{row->nbits, row->format};
    if (!format && keeps_codings(path))
        if (auto c = files.channels_wave_coding({})) coding = *c;
    prompter.yes = yes;
    prompter.refused = false;
    prompter.last.clear();
    const bool ok = files.save_file(path, coding.nbits, 0, 0, {}, coding.format);
    prompter.yes = true;
    if (!ok) throw terror(prompter.last.empty() ? "cannot write " + path : prompter.last);
}

tprocsteps read_process(const std::string& procpath, double defaultrate) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(procpath, ec)) throw terror("cannot read " + procpath);
    tprocsteps steps;
    try {
        open_process_file(procpath, steps, defaultrate);
    } catch (const std::exception& e) {
        throw terror(procpath + ": " + plain_text(e.what()));
    }
    return steps;
}

std::string tpydocument::run(tprocsteps& steps, std::vector<std::string>& missing) {
    tprocenv env(doc, prompter);
    tprocrunner runner;
    const tprocresult r = runner.run(steps, env);
    if (!r.ok) throw terror(r.error.empty() ? r.status : plain_text(r.error));
    missing = env.missing;
    return r.status == "Done " ? std::string() : plain_text(r.status);
}

std::string tpydocument::run(const std::string& procpath) {
    tprocsteps steps = read_process(procpath, doc.prefs.DefaultSampFreq);
    std::vector<std::string> missing;
    std::string notes = run(steps, missing);
    // A step that went on without a channel it named did not do what the
    // process says.
    if (!missing.empty()) throw terror(missing.front());
    return notes;
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

void run_process_job(const std::string& procpath, const std::vector<std::string>& inputs,
                     const std::string& out, const std::optional<std::string>& format, bool yes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Writing the result over its own input would lose the input.
    if (fs::is_regular_file(out, ec))
        for (const std::string& in : inputs) {
            if (fs::equivalent(out, in, ec) && !ec)
                throw terror(out + " is " + (out == in ? "" : "the same file as " + in + ", ") +
                             "an input; write the result to another file");
            ec.clear();
        }
    tpydocument d;
    d.prompter.yes = yes;
    const tsavefilter* row = format ? find_savefilter(d.files.savefilter, *format)
                                    : savefilter_for_extension(d.files.savefilter, lower_extension(out));
    if (!row)
        throw terror(format ? "no save format \"" + *format + "\""
                            : "no save format for the extension of " + out);
    tprocsteps steps = read_process(procpath, d.doc.prefs.DefaultSampFreq);
    d.open(inputs);
    std::vector<std::string> missing;
    d.run(steps, missing);
    if (!missing.empty()) throw terror(missing.front() + "; " + out + " was not written");
    d.save(out, format, yes);
}

}  // namespace tessal::pymodule
