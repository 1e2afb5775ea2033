// Recent-files lists: order, duplicates in any case, the 16-entry limit, the
// menu captions, the store and the drive-type rule over mount tables given
// as text.
#include "engine/settings/trecentfiles.h"

#include <gtest/gtest.h>

#include <set>

#include "support/scriptedprompter.h"
#include "tempenv.h"

namespace tessal {
namespace {

using testing::ttempenv;

const char* const mounts =
    "/dev/nvme0n1p2 / ext4 rw,relatime 0 0\n"
    "proc /proc proc rw 0 0\n"
    "tmpfs /tmp tmpfs rw,nosuid 0 0\n"
    "/dev/nvme0n1p1 /boot/efi vfat rw 0 0\n"
    "/dev/sdb1 /media/ann/USB\\040STICK vfat rw,nosuid 0 0\n"
    "/dev/sdc1 /run/media/ann/disk ext4 rw 0 0\n"
    "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
    "/dev/loop3 /mnt/image udf ro 0 0\n"
    "server:/export/home /home/shared nfs4 rw 0 0\n"
    "//nas/music /mnt/music cifs rw 0 0\n"
    "/dev/zram0 /var/cache/fast ext4 rw 0 0\n"
    "/dev/mmcblk0p1 /mnt/card exfat rw 0 0\n"
    "/dev/sdd1 /tmp/stuck ext4 rw 0 0\n";

TEST(DriveType, TheLongestContainingMountDecides) {
    const auto table = parse_mount_table(mounts);
    ASSERT_EQ(table.size(), 13u);
    EXPECT_EQ(table[4].mountpoint, "/media/ann/USB STICK");
    struct { const char* path; tdrivetype type; } cases[] = {
        {"/home/ann/a.wav", tdrivetype::fixed},
        {"/boot/efi/x.wav", tdrivetype::fixed},
        {"/tmp/a.wav", tdrivetype::ramdisk},
        {"/tmpfoo/a.wav", tdrivetype::fixed},  // a name that only starts like /tmp
        {"/tmp/stuck/a.wav", tdrivetype::fixed},
        {"/media/ann/USB STICK/a.wav", tdrivetype::removable},
        {"/run/media/ann/disk/a.wav", tdrivetype::removable},
        {"/mnt/cd/track.wav", tdrivetype::cdrom},
        {"/mnt/image/a.wav", tdrivetype::cdrom},
        {"/home/shared/a.wav", tdrivetype::remote},
        {"/mnt/music/a.wav", tdrivetype::remote},
        {"/var/cache/fast/a.wav", tdrivetype::ramdisk},
        {"/mnt/card/a.wav", tdrivetype::removable},
    };
    for (const auto& c : cases) EXPECT_EQ(drive_type(c.path, table), c.type) << c.path;
    EXPECT_EQ(drive_type("/a.wav", {}), tdrivetype::fixed);
    EXPECT_TRUE(parse_mount_table("garbage\n\n# only\n").empty());
}

struct recentfixture : ::testing::Test {
    ttempenv env;
    std::set<std::string> existing;
    std::unique_ptr<TRecentFiles> make(const std::string& listname = "sound") {
        auto r = std::make_unique<TRecentFiles>();
        r->mount_table = [] { return parse_mount_table(mounts); };
        r->file_exists = [this](const std::string& n) { return existing.count(n) > 0; };
        r->set_storage("", "tessal");
        r->SetListName(listname);
        return r;
    }
    std::string name(int i) {
        std::string n = "/home/ann/f" + std::to_string(i) + ".wav";
        existing.insert(n);
        return n;
    }
};

TEST_F(recentfixture, NewestFirstWithoutDuplicatesInAnyCase) {
    auto r = make();
    r->add("/home/ann/A.wav");
    r->add("/home/ann/b.wav");
    r->add("/home/ann/c.wav");
    r->add("/home/ANN/a.WAV");
    EXPECT_EQ(r->entries(),
              (std::vector<std::string>{"/home/ANN/a.WAV", "/home/ann/c.wav", "/home/ann/b.wav"}));
    // Relative names become full paths (the test folder is on the table's RAM disk).
    r->AllowFileOnRAMDisk = true;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(env.dir);
    r->add("sub/../rel.wav");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(r->entries()[0], env.dir.string() + "/rel.wav");
}

TEST_F(recentfixture, SixteenAreKeptAndMaxItemsShown) {
    auto r = make();
    for (int i = 1; i <= 20; ++i) r->add(name(i));
    ASSERT_EQ(r->itemcount(), 16);
    EXPECT_EQ(r->entries().front(), name(20));
    EXPECT_EQ(r->entries().back(), name(5));
    EXPECT_EQ(r->captions().size(), 9u);
    EXPECT_EQ(r->captions()[0], "&1 " + name(20));
    r->MaxItems = 16;
    const auto c = r->captions();
    EXPECT_EQ(c[9], "&A " + name(11));
    EXPECT_EQ(c[14], "&F " + name(6));
    EXPECT_EQ(c[15], "10 " + name(5));
    r->add("/home/ann/rock & roll.wav");
    EXPECT_EQ(r->captions()[0], "&1 /home/ann/rock && roll.wav");
}

TEST_F(recentfixture, DriveTypesDecideWhatIsAdded) {
    auto r = make();
    r->add("/tmp/a.wav");
    r->add("/media/ann/USB STICK/b.wav");
    r->add("/mnt/cd/c.wav");
    EXPECT_EQ(r->itemcount(), 0);
    r->add("/home/shared/d.wav");
    r->add("/home/ann/e.wav");
    EXPECT_EQ(r->itemcount(), 2);
    r->AllowFileOnRAMDisk = true;
    r->AllowFileOnRemote = false;
    r->add("/tmp/a.wav");
    r->add("/mnt/music/f.wav");
    EXPECT_EQ(r->entries(), (std::vector<std::string>{"/tmp/a.wav", "/home/ann/e.wav",
                                                      "/home/shared/d.wav"}));
}

TEST_F(recentfixture, TheStoreKeepsTheListAndDropsVanishedFiles) {
    {
        auto r = make();
        for (int i = 1; i <= 3; ++i) r->add(name(i));
        auto p = make("proc");
        p->add(name(7));
    }
    const std::string ini = ttempenv::read(env.data() + "/Tessal/Tessal/1.0/tessal.ini");
    EXPECT_NE(ini.find("[RecentFilessound]\nnToUse=9\n1=" + name(3) + "\n2=" + name(2)),
              std::string::npos)
        << ini;
    existing.erase(name(2));
    auto r = make();
    EXPECT_EQ(r->entries(), (std::vector<std::string>{name(3), name(1)}));
    auto p = make("proc");
    EXPECT_EQ(p->entries(), std::vector<std::string>{name(7)});
    r->clear();
    EXPECT_EQ(make()->itemcount(), 0);
    EXPECT_EQ(make("proc")->itemcount(), 1);
}

TEST_F(recentfixture, ClickingMovesToFrontOrReportsAMissingFile) {
    auto r = make();
    for (int i = 1; i <= 3; ++i) r->add(name(i));
    std::string opened;
    r->OnClick = [&](const std::string& n) { opened = n; };
    testing::tscriptedprompter prompter;
    r->click(2, prompter);
    EXPECT_EQ(opened, name(1));
    EXPECT_EQ(r->entries()[0], name(1));
    existing.erase(name(2));
    opened.clear();
    r->click(2, prompter);
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(prompter.asked.size(), 1u);
    EXPECT_EQ(prompter.asked[0].text, "Can't find \r" + name(2));
    EXPECT_EQ(prompter.asked[0].caption, "File not found");
    EXPECT_EQ(r->entries(), (std::vector<std::string>{name(1), name(3)}));
    r->click(5, prompter);  // no such entry
    EXPECT_EQ(prompter.asked.size(), 1u);
}

TEST_F(recentfixture, AWrongCountInTheStoreIsBounded) {
    ttempenv::write(env.data() + "/Tessal/Tessal/1.0/tessal.ini",
                    "[RecentFilessound]\nnToUse=99999\n1=" + name(1) + "\n2=" + name(1) +
                        "\n11=" + name(2) + "\n");
    auto r = make();
    EXPECT_EQ(r->MaxItems, 16);
    EXPECT_EQ(r->entries(), (std::vector<std::string>{name(1)}));
}

}  // namespace
}  // namespace tessal
