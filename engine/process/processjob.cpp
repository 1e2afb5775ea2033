#include "engine/process/processjob.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "engine/core/prompter.h"
#include "engine/formats/regularfile.h"
#include "engine/process/processfile.h"

namespace tessal {

bool read_process_steps(const std::string& path, double defaultrate, tprocsteps& steps, std::string& why) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        why = "cannot read " + path;
        return false;
    }
    try {
        open_process_file(path, steps, defaultrate);
    } catch (const std::exception& e) {
        why = path + ": " + with_newlines(e.what());
        return false;
    }
    return true;
}

tprocessrun run_process_steps(tbatchdocument& d, tprocsteps& steps, tprocrunner& runner) {
    tprocenv env(d.doc, d.prompter);
    const tprocresult r = runner.run(steps, env);
    tprocessrun run;
    run.ok = r.ok;
    if (!r.ok) {
        run.message = r.error.empty() ? r.status : with_newlines(r.error);
        return run;
    }
    run.missing = std::move(env.missing);
    // Steps not available yet, samples that became infinite, zero divisors.
    if (r.status != "Done ") run.notes = with_newlines(r.status);
    return run;
}

tprocessjobresult run_process_job(tbatchdocument& d, const tprocessjob& job) {
    tprocessjobresult res;
    auto fail = [&res](tjobstatus status, std::string message) {
        res.status = status;
        res.message = std::move(message);
        return res;
    };
    if (std::string clash = output_input_clash(job.out, job.inputs); !clash.empty())
        return fail(tjobstatus::usage, std::move(clash));
    std::string why;
    const tsavefilter* row = d.save_row(job.out, job.format, why);
    if (!row) return fail(tjobstatus::usage, why);
    tprocsteps steps;
    if (!read_process_steps(job.process, d.doc.prefs.DefaultSampFreq, steps, why))
        return fail(tjobstatus::input, why);
    if (job.inputs.empty()) return fail(tjobstatus::usage, "no file to open");
    if ((res.unread = d.open(job.inputs)) >= 0) {
        res.told = !d.prompter.last_message().empty();
        return fail(d.prompter.refused() ? tjobstatus::usage : tjobstatus::input,
                    d.reason("cannot read " + job.inputs[static_cast<std::size_t>(res.unread)]));
    }
    tprocrunner runner;
    tprocessrun run = run_process_steps(d, steps, runner);
    if (!run.ok) return fail(tjobstatus::input, run.message);
    // A step that went on without a channel it named did not do what the
    // process says: nothing is written.
    if (!run.missing.empty())
        return fail(tjobstatus::input, run.missing.front() + "; " + job.out + " was not written");
    res.notes = run.notes;
    if (job.ran) job.ran(run.notes, runner, steps);
    if (!d.save(job.out, *row, !job.format)) {
        res.told = !d.prompter.last_message().empty();
        return fail(d.prompter.refused() ? tjobstatus::usage : tjobstatus::input, d.reason("cannot write " + job.out));
    }
    return res;
}

}  // namespace tessal
