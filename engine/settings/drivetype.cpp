#include "engine/settings/drivetype.h"

#include <fstream>
#include <sstream>

namespace tessal {

namespace {

bool starts_with(const std::string& s, const std::string& p) {
    return s.compare(0, p.size(), p) == 0;
}

std::string unescape(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            r += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            r += s[i];
        }
    }
    return r;
}

// True when `dir` is `path` itself or one of its parent folders.
bool contains(const std::string& dir, const std::string& path) {
    if (dir == "/") return !path.empty() && path[0] == '/';
    if (!starts_with(path, dir)) return false;
    return path.size() == dir.size() || path[dir.size()] == '/' || dir.back() == '/';
}

bool under(const std::string& mountpoint, const std::string& dir) {
    return mountpoint == dir || starts_with(mountpoint, dir + "/");
}

}  // namespace

std::vector<tmountentry> parse_mount_table(const std::string& text) {
    std::vector<tmountentry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        tmountentry e;
        if (!(fields >> e.device >> e.mountpoint >> e.fstype)) continue;
        if (e.device[0] == '#') continue;
        e.device = unescape(e.device);
        e.mountpoint = unescape(e.mountpoint);
        out.push_back(std::move(e));
    }
    return out;
}

tdrivetype drive_type(const std::string& path, const std::vector<tmountentry>& mounts) {
    // The last of equally long mount points is the one mounted on top.
    const tmountentry* best = nullptr;
    for (const tmountentry& m : mounts)
        if (contains(m.mountpoint, path) &&
            (!best || m.mountpoint.size() >= best->mountpoint.size()))
            best = &m;
    if (!best) return tdrivetype::fixed;
    const std::string& t = best->fstype;
    const std::string& d = best->device;
    if (t == "iso9660" || t == "udf" || starts_with(d, "/dev/sr") || starts_with(d, "/dev/scd") ||
        starts_with(d, "/dev/cdrom"))
        return tdrivetype::cdrom;
    if (t == "tmpfs" || t == "ramfs" || starts_with(d, "/dev/ram") || starts_with(d, "/dev/zram"))
        return tdrivetype::ramdisk;
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smbfs", "smb3", "ncpfs",
                                          "fuse.sshfs", "sshfs", "9p", "afs", "ceph",
                                          "glusterfs", "fuse.glusterfs", "davfs", "fuse.davfs2",
                                          "coda", "lustre", "gfs2", "ocfs2"};
    for (const char* n : network)
        if (t == n) return tdrivetype::remote;
    if (d.find(":/") != std::string::npos || starts_with(d, "//")) return tdrivetype::remote;
    if (under(best->mountpoint, "/media") || under(best->mountpoint, "/run/media") ||
        starts_with(d, "/dev/mmcblk") || starts_with(d, "/dev/fd"))
        return tdrivetype::removable;
    return tdrivetype::fixed;
}

std::vector<tmountentry> system_mount_table() {
    for (const char* name : {"/proc/self/mounts", "/etc/mtab"}) {
        std::ifstream in(name);
        if (!in) continue;
        std::stringstream ss;
        ss << in.rdbuf();
        auto table = parse_mount_table(ss.str());
        if (!table.empty()) return table;
    }
    return {};
}

}  // namespace tessal
