// tprocessdocument: the process a processing window edits, without the
// window. It holds the steps, the file name and the modified flag, and does
// every command of the window's "Selected step(s)" group on the steps'
// selected flags, so the window only draws the list and forwards clicks.
// Every editing command marks the process modified first, even when it
// changes nothing; New, Open and Save set the name and clear the flag.
#pragma once

#include <string>
#include <vector>

#include "engine/process/tprocstep.h"

namespace tessal {

class tprocessdocument {
public:
    tprocsteps steps;
    double defaultsampfreq = 44100;

    const std::string& name() const { return name_; }
    bool modified() const { return modified_; }
    void set_modified(bool v) { modified_ = v; }

    // One line per step: the step's list text, after "% " when disabled.
    std::vector<std::string> lines() const;

    // "<-- add step": a new step of registry entry `index` at the end.
    // Nothing happens for a separator (the flag stays as it was); false then.
    bool add_step(int index);
    // A double-click in "Available steps": marks modified, then adds.
    bool add_step_marking(int index);
    // Copies the selected steps (enabled) to the end; only the copies are
    // selected afterwards.
    void copy_selected();
    void delete_selected();
    // A block of selected steps moves by one place; one at the end stays.
    void move_up();
    void move_down();
    void set_enabled(bool v);
    // The list's selection, one flag per line.
    void set_selection(const std::vector<bool>& sel);
    std::vector<bool> selection() const;
    // Marks modified before a step's dialog opens ("Edit...").
    void touch() { modified_ = true; }

    // New: no steps, no name, not modified.
    void clear();
    // Reads a process file whole; then the steps, the name and the cleared
    // flag are the file's. A file that is not a process file or holds a bad
    // step raises EProcessError and the process stays as it was (a half
    // process under the file's name would, once saved, cut the file short).
    void open(const std::string& path);
    // Writes the process as `path`; on success the name is set and the
    // flag cleared. A failed write leaves the name, the flag and the file
    // on disk as they were.
    void save(const std::string& path);

    // The window's caption: "<untitled> - Tessal", the name + "* - Tessal"
    // when modified, else the name + " - Tessal".
    std::string caption() const;
    // The main window's "Run process" caption and hint.
    std::string run_caption() const;
    std::string run_hint() const;

private:
    std::string name_;
    bool modified_ = false;
};

}  // namespace tessal
