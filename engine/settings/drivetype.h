// Which kind of drive a file lives on, for the recent-files lists (files on
// removable media, optical discs and RAM disks are not remembered, since
// they are gone or different the next time).
//
// Linux has no drive letters: the file's mount is the entry of the mount
// table (/proc/self/mounts, or /etc/mtab) with the longest mount point that
// contains the path, compared by whole path components. Its file-system
// type and device decide:
//   cdrom     iso9660, udf, or a /dev/sr*, /dev/scd*, /dev/cdrom* device
//   ramdisk   tmpfs, ramfs, or a /dev/ram*, /dev/zram* device
//   remote    nfs, cifs, smb, sshfs, 9p, afs, ceph and other network types,
//             or a device of the form host:/path or //host/share
//   removable a mount under /media or /run/media (where desktops mount
//             plugged-in media), or a /dev/mmcblk*, /dev/fd* device
//   fixed     everything else, also a path no mount contains.
#pragma once

#include <string>
#include <vector>

namespace tessal {

enum class tdrivetype { fixed, removable, cdrom, ramdisk, remote };

struct tmountentry {
    std::string device, mountpoint, fstype;
};

// The entries of a mount table text, with its octal escapes ("\040") undone.
// Lines with fewer than three fields are skipped.
std::vector<tmountentry> parse_mount_table(const std::string& text);

// The drive type of an absolute, normalised path under `mounts`.
tdrivetype drive_type(const std::string& path, const std::vector<tmountentry>& mounts);

// The mount table of this system: /proc/self/mounts, else /etc/mtab
// (empty when neither can be read).
std::vector<tmountentry> system_mount_table();

}  // namespace tessal
