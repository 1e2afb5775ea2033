// Tests of the tagged container: every value type through a real file, the
// byte layout against containers assembled by hand here, the 80-bit floats
// against the x87 hardware's own conversions, damaged and truncated files,
// and saves that fail part way without touching the old file.
#include "support/tempdirtest.h"
#include "engine/formats/txiifile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>

namespace tessal {
namespace {

namespace fs = std::filesystem;

class xiitest : public tessal::testing::ttempdirtest {};

tbytearr file_bytes(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return tbytearr(std::istreambuf_iterator<char>(f), {});
}

void put_file(const std::string& name, const tbytearr& b) {
    std::ofstream f(name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A container assembled field by field, independently of the writer.
struct tbuilder {
    tbytearr b;
    tbuilder& raw(std::initializer_list<std::uint8_t> v) {
        b.insert(b.end(), v);
        return *this;
    }
    tbuilder& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    tbuilder& str(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    tbuilder& head(const std::string& id, std::uint32_t n, bool widemagic = false) {
        if (widemagic)
            raw({0x58, 0x00, 0x49, 0x00});
        else
            raw({'X', 'I', 'I', '1'});
        return str(id).str("0.0").str("Other").str("9.9").u32(n);
    }
    tbuilder& node(const std::string& s, const std::string& k, std::uint32_t id, const tbytearr& data) {
        str(s).str(k).u32(id).u32(static_cast<std::uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        return *this;
    }
};

tbytearr le32(std::int32_t v) {
    tbytearr r;
    for (int i = 0; i < 4; ++i) r.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
    return r;
}

TXIIFile with_identity() {
    TXIIFile x;
    x.SetProgId({"Maker", "Prod", "2.5"});
    x.SetFileId("TestId");
    return x;
}

// ------------------------------------------------------------ values

TEST_F(xiitest, EveryValueTypeSurvivesAFile) {
    TXIIFile w = with_identity();
    w.SetFileVersion("3.1");
    const std::string binary("a\0b\xff", 4);
    const double tiny = std::numeric_limits<double>::denorm_min();
    w.writebool("S", "t", true);
    w.writebool("S", "f", false);
    w.writeinteger("S", "min", std::numeric_limits<std::int32_t>::min());
    w.writeinteger("S", "max", std::numeric_limits<std::int32_t>::max());
    w.writefloat("F", "pi", M_PI);
    w.writefloat("F", "tiny", tiny);
    w.writefloat("F", "big", DBL_MAX);
    w.writefloat("F", "negzero", -0.0);
    w.writefloat("F", "inf", -INFINITY);
    w.writefloat("F", "nan", NAN);
    w.writestring("T", "bin", binary);
    w.writestring("T", "empty", "");
    w.writebytearr("A", "bytes", {0, 1, 255});
    w.writesmallintarr("A", "small", tsmallintarr{-32768, 0, 32767});
    w.writedoublearr("A", "double", {1e-300, -2.5, tiny});
    w.writesinglearr("A", "single", tsinglearr{1.5f, -0.0f, std::numeric_limits<float>::denorm_min()});
    w.writecomplexarr("A", "complex", {tcomplex{1, -2}, tcomplex{1e300, tiny}});
    w.writesinglecomplexarr("A", "scomplex", tsinglecomplexarr{{0.25f, -4}});
    w.writesinglearr("A", "none", tsinglearr{});
    w.save_file(path("v.xii"));

    TXIIFile r;
    ASSERT_TRUE(r.open_file(path("v.xii")));
    EXPECT_EQ(r.GetFileId(), "TestId");
    EXPECT_EQ(r.readfileversion(), "3.1");
    EXPECT_EQ(r.readproductname(), "Prod");
    EXPECT_EQ(r.readproductversion(), "2.5");
    EXPECT_EQ(r.Idstr(), "#58#49#49#31");
    // Saved again with the same stamps, the list gives the same bytes.
    r.SetProgId(*w.GetProgId());
    r.SetFileVersion(r.readfileversion());
    EXPECT_EQ(r.save_bytes(), w.save_bytes());
    EXPECT_TRUE(r.readbool("s", "T", false));
    EXPECT_FALSE(r.readbool("S", "f", true));
    EXPECT_EQ(r.readinteger("S", "min", 0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(r.readinteger("S", "max", 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(r.dummy(), "11");
    EXPECT_EQ(r.readfloat("F", "pi", 0), M_PI);
    EXPECT_EQ(r.readfloat("F", "tiny", 0), tiny);
    EXPECT_EQ(r.readfloat("F", "big", 0), DBL_MAX);
    EXPECT_TRUE(std::signbit(r.readfloat("F", "negzero", 1)));
    EXPECT_EQ(r.readfloat("F", "inf", 0), -INFINITY);
    EXPECT_TRUE(std::isnan(r.readfloat("F", "nan", 0)));
    EXPECT_EQ(r.readstring("T", "bin", ""), binary);
    EXPECT_EQ(r.readstring("T", "empty", "x"), "");
    EXPECT_EQ(r.find("T", "empty")->data.arr.size(), 0u);
    EXPECT_EQ(r.readbytearr("A", "bytes", {}), (tbytearr{0, 1, 255}));
    EXPECT_EQ(r.readsmallintarr("A", "small", {}), (tsmallintarr{-32768, 0, 32767}));
    EXPECT_EQ(r.readdoublearr("A", "double", {}), (tdoublearr{1e-300, -2.5, tiny}));
    const tsinglearr s = r.readsinglearr("A", "single", {});
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], 1.5f);
    EXPECT_TRUE(std::signbit(s[1]));
    EXPECT_EQ(s[2], std::numeric_limits<float>::denorm_min());
    const tcomplexarr c = r.readcomplexarr("A", "complex", {});
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].re, 1e300);
    EXPECT_EQ(c[1].im, tiny);
    const tsinglecomplexarr sc = r.readsinglecomplexarr("A", "scomplex", {});
    ASSERT_EQ(sc.size(), 1u);
    EXPECT_EQ(sc[0].im, -4.0f);
    // A narrow complex array reads as a wide one.
    const tcomplexarr wide = r.readcomplexarr("A", "scomplex", {});
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].re, 0.25);
    EXPECT_EQ(wide[0].im, -4.0);
    EXPECT_EQ(r.dummy(), "18");
    EXPECT_TRUE(r.readsinglearr("A", "none", {7}).empty());
}

TEST_F(xiitest, WritesFindByNameInAnyCaseAndKeepTheirPlace) {
    TXIIFile x;
    x.writeinteger("Sec", "One", 1);
    x.writeinteger("Sec", "Two", 2);
    x.writestring("sEC", "oNE", "last");
    ASSERT_EQ(x.nnodes(), 2);
    EXPECT_EQ(x.get_nodeno(0).key, "One");  // first position, name as first written
    EXPECT_EQ(x.readstring("SEC", "one", ""), "last");
    EXPECT_EQ(x.keys("sec"), (std::vector<std::string>{"One", "Two"}));
    // Section and key are separate names, not one joined text.
    x.writeinteger("ab", "c", 1);
    x.writeinteger("a", "bc", 2);
    EXPECT_EQ(x.readinteger("ab", "c", 0), 1);
    EXPECT_EQ(x.readinteger("a", "bc", 0), 2);
    EXPECT_EQ(x.sections(), (std::vector<std::string>{"Sec", "ab", "a"}));
    // Absent values give the default and add nothing.
    EXPECT_EQ(x.readfloat("Sec", "Three", 4.5), 4.5);
    EXPECT_EQ(x.readsinglearr("No", "such", {1, 2}), (tsinglearr{1, 2}));
    EXPECT_EQ(x.nnodes(), 4);
    EXPECT_THROW(x.get_nodeno(4), EXIIfileError);
    EXPECT_THROW(x.get_nodeno(-1), EXIIfileError);
    x.clear();
    EXPECT_EQ(x.nnodes(), 0);
    EXPECT_FALSE(x.exists("Sec", "One"));
}

TEST_F(xiitest, ValuesOfTheWrongTypeOrLengthRaise) {
    TXIIFile x;
    x.writeinteger("S", "i", 5);
    try {
        x.readfloat("S", "i", 0);
        FAIL();
    } catch (const EXIIfileError& e) {
        EXPECT_STREQ(e.what(), "Data has wrong type: 11, not12");
    }
    EXPECT_THROW(x.readstring("S", "i", ""), EXIIfileError);
    EXPECT_THROW(x.readdoublearr("S", "i", {}), EXIIfileError);
    // A value whose bytes cannot be of its type, as a damaged file holds.
    x.write_data("S", "short", xii_integer, {1, 2, 3});
    x.write_data("S", "ext", xii_extended, {0});
    x.write_data("S", "bool", xii_boolean, {});
    x.write_data("S", "dbl", xii_doublearr, tbytearr(12, 0));
    x.write_data("S", "cplx", xii_singlecomplexarr, tbytearr(4, 0));
    EXPECT_THROW(x.readinteger("S", "short", 0), EXIIfileError);
    EXPECT_THROW(x.readfloat("S", "ext", 0), EXIIfileError);
    EXPECT_THROW(x.readbool("S", "bool", false), EXIIfileError);
    EXPECT_THROW(x.readdoublearr("S", "dbl", {}), EXIIfileError);
    EXPECT_THROW(x.readcomplexarr("S", "cplx", {}), EXIIfileError);
}

// ------------------------------------------------------------ layout

TEST_F(xiitest, SavedBytesAreTheDocumentedLayout) {
    TXIIFile x = with_identity();
    x.writeinteger("Common", "n", -2);
    x.writestring("Ch0", "Name", "");
    x.writefloat("Ch0", "one", 1.0);
    tbuilder want;
    want.raw({'X', 'I', 'I', '1'}).str("TestId").str("0.0").str("Prod").str("2.5").u32(3);
    want.node("Common", "n", 11, le32(-2));
    want.node("Ch0", "Name", 13, {});
    // 1.0 as an 80-bit float: mantissa 0x8000000000000000, exponent 0x3FFF.
    want.node("Ch0", "one", 12, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F});
    EXPECT_EQ(x.save_bytes(), want.b);
}

TEST_F(xiitest, ReadsHandMadeContainersWithEitherMagic) {
    for (bool wide : {false, true}) {
        tbuilder f;
        f.head("Orlet", 3, wide);
        f.node("Test_1", "nSounds", 11, le32(7));
        f.node("x", "y", 99, {1, 2});  // unknown types are kept as they are
        f.node("TEST_1", "NSOUNDS", 11, le32(8));
        f.raw({0xDE, 0xAD});  // what follows the last node is not read
        const std::string name = path(wide ? "w.orlet" : "n.orlet");
        put_file(name, f.b);
        EXPECT_TRUE(TXIIFile::isXIIfile(name));
        TXIIFile x;
        ASSERT_TRUE(x.open_file(name));
        EXPECT_EQ(x.Idstr(), wide ? "#58#00#49#00" : "#58#49#49#31");
        EXPECT_EQ(x.GetFileId(), "Orlet");
        EXPECT_EQ(x.readproductname(), "Other");
        EXPECT_EQ(x.nnodes(), 3);
        // Of two nodes with one name, the later wins.
        EXPECT_EQ(x.readinteger("test_1", "nsounds", 0), 8);
        EXPECT_EQ(x.get_nodeno(1).data.id, 99);
        EXPECT_THROW(x.readbytearr("x", "y", {}), EXIIfileError);
    }
}

// ------------------------------------------------------------ extended

#if LDBL_MANT_DIG == 64
std::array<std::uint8_t, 10> hw_bytes(long double v) {
    std::array<std::uint8_t, 10> b{};
    std::memcpy(b.data(), &v, 10);
    return b;
}

TEST(xiiextended, ConversionsAgreeWithTheHardware) {
    std::mt19937_64 rng(12345);
    // Doubles of every kind: normal, subnormal, huge, tiny.
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = rng();
        if (i % 4 == 0) bits &= 0x800FFFFFFFFFFFFFull;  // subnormal
        const double d = std::bit_cast<double>(bits);
        if (std::isnan(d)) continue;
        ASSERT_EQ(double_to_extended(d), hw_bytes(static_cast<long double>(d))) << d;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(extended_to_double(double_to_extended(d).data())), bits);
    }
    // 80-bit values beyond a double: rounding, overflow and underflow as the
    // hardware does them (round to nearest, ties to even).
    for (int i = 0; i < 200000; ++i) {
        std::array<std::uint8_t, 10> b{};
        std::uint64_t m = rng();
        int e;
        switch (i % 5) {
            case 0: e = static_cast<int>(rng() % 0x7FFF); break;
            case 1: e = 16383 - 1022 - static_cast<int>(rng() % 70); break;  // into the subnormals
            case 2: e = 16383 + 1023 + static_cast<int>(rng() % 3) - 1; break;  // around overflow
            case 3: m = (m & ~0x7FFull) | 0x400; e = 16383 + static_cast<int>(rng() % 100); break;  // ties
            default: e = 0; break;  // extended denormals
        }
        m = e == 0 ? m & ~(1ull << 63) : m | (1ull << 63);
        for (int k = 0; k < 8; ++k) b[k] = static_cast<std::uint8_t>(m >> (8 * k));
        const unsigned se = static_cast<unsigned>(e) | ((rng() & 1) << 15);
        b[8] = static_cast<std::uint8_t>(se);
        b[9] = static_cast<std::uint8_t>(se >> 8);
        long double ld;
        std::memcpy(&ld, b.data(), 10);
        const double want = static_cast<double>(ld);
        ASSERT_EQ(std::bit_cast<std::uint64_t>(extended_to_double(b.data())),
                  std::bit_cast<std::uint64_t>(want))
            << "exponent " << e << " mantissa " << m;
    }
}
#endif

TEST(xiiextended, InfinitiesAndNaNs) {
    for (double d : {INFINITY, -INFINITY}) EXPECT_EQ(extended_to_double(double_to_extended(d).data()), d);
    EXPECT_TRUE(std::isnan(extended_to_double(double_to_extended(NAN).data())));
    // An 80-bit NaN whose payload lies below a double's is still a NaN.
    const std::uint8_t lownan[10] = {1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F};
    EXPECT_TRUE(std::isnan(extended_to_double(lownan)));
}

// ------------------------------------------------------------ damaged files

TEST_F(xiitest, EveryTruncationOfAValidFileFails) {
    TXIIFile w = with_identity();
    w.writeinteger("S", "i", 1);
    w.writestring("S", "s", "abc");
    w.writesinglearr("S", "a", {1, 2});
    const tbytearr full = w.save_bytes();
    TXIIFile r;
    ASSERT_TRUE(r.open_bytes(full.data(), full.size()));
    for (std::size_t n = 0; n < full.size(); ++n) {
        r.SetFileId("Kept");
        ASSERT_TRUE(r.open_bytes(full.data(), full.size()));
        ASSERT_FALSE(r.open_bytes(full.data(), n)) << n;
        EXPECT_EQ(r.nnodes(), 0);
        EXPECT_EQ(r.readproductname(), "");
        EXPECT_EQ(r.readfileversion(), "");
        EXPECT_EQ(r.readproductversion(), "");
    }
    // The same through files, for a few lengths.
    for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{4}, full.size() / 2, full.size() - 1}) {
        put_file(path("t.xii"), tbytearr(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
        EXPECT_FALSE(r.open_file(path("t.xii"))) << n;
        EXPECT_EQ(TXIIFile::isXIIfile(path("t.xii")), n >= 4);
    }
    // A failed open leaves the file id that was there.
    r.SetFileId("Before");
    EXPECT_FALSE(r.open_bytes(full.data(), full.size() - 1));
    EXPECT_EQ(r.GetFileId(), "Before");
}

TEST_F(xiitest, ImpossibleCountsAndLengthsFailWithoutAllocating) {
    auto fails = [](const tbytearr& b) {
        TXIIFile x;
        return !x.open_bytes(b.data(), b.size());
    };
    for (std::uint32_t n : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 2u}) {
        tbuilder f;
        f.head("Id", n).node("a", "b", 11, le32(1));
        EXPECT_TRUE(fails(f.b)) << n;
    }
    for (std::uint32_t len : {0xFFFFFFFFu, 0x7FFFFFFFu, 5u}) {
        tbuilder f;  // a data length beyond the file
        f.head("Id", 1).str("a").str("b").u32(13).u32(len).raw({'x', 'y', 'z', 'w'});
        EXPECT_TRUE(fails(f.b)) << len;
        tbuilder g;  // a name length beyond the file
        g.head("Id", 1).u32(len).raw({'a'});
        EXPECT_TRUE(fails(g.b)) << len;
        tbuilder h;  // a header string beyond the file
        h.raw({'X', 'I', 'I', '1'}).u32(len).raw({'I', 'd'});
        EXPECT_TRUE(fails(h.b)) << len;
    }
    tbuilder emptyid;  // the file id must not be empty
    emptyid.head("", 0);
    EXPECT_TRUE(fails(emptyid.b));
    tbuilder badmagic;
    badmagic.raw({'X', 'I', 'I', '2'}).str("Id").str("").str("").str("").u32(0);
    EXPECT_TRUE(fails(badmagic.b));
    tbuilder none;
    none.head("Id", 0);
    EXPECT_FALSE(fails(none.b));
    EXPECT_TRUE(fails({}));
    TXIIFile x;
    EXPECT_FALSE(x.open_bytes(nullptr, 100));
}

TEST_F(xiitest, OpeningWhatIsNotAFileFails) {
    TXIIFile x;
    x.writeinteger("a", "b", 1);
    EXPECT_FALSE(x.open_file(path("missing.xii")));
    EXPECT_EQ(x.nnodes(), 0);  // the list is cleared all the same
    EXPECT_FALSE(x.open_file(dir.string()));
    EXPECT_FALSE(TXIIFile::isXIIfile(dir.string()));
    EXPECT_FALSE(TXIIFile::isXIIfile(path("missing.xii")));
    EXPECT_FALSE(x.open_file("/dev/zero"));
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);  // must not wait for a writer
    EXPECT_FALSE(TXIIFile::isXIIfile(path("pipe")));
    EXPECT_FALSE(x.open_file(path("pipe")));
    put_file(path("junk"), {'R', 'I', 'F', 'F', 0, 0});
    EXPECT_FALSE(TXIIFile::isXIIfile(path("junk")));
    EXPECT_FALSE(x.open_file(path("junk")));
    EXPECT_EQ(x.Idstr(), "#52#49#46#46");
}

// ------------------------------------------------------------ saving

// File calls that fail on demand: the write after `writelimit` bytes comes
// up short, or the rename is refused.
class tfailingops : public tfileops {
public:
    std::size_t writelimit = SIZE_MAX;
    bool failrename = false;
    std::size_t written = 0;
    std::size_t write(std::FILE* f, const void* data, std::size_t n) override {
        if (written + n > writelimit) {
            const std::size_t part = writelimit - written;
            written = writelimit;
            tfileops::write(f, data, part);
            errno = ENOSPC;
            return part;
        }
        written += n;
        return tfileops::write(f, data, n);
    }
    bool rename(const std::string& from, const std::string& to) override {
        if (failrename) {
            errno = EXDEV;
            return false;
        }
        return tfileops::rename(from, to);
    }
};

TEST_F(xiitest, AFailedSaveLeavesTheOldFileAsItWas) {
    TXIIFile old = with_identity();
    old.writestring("S", "v", "old contents");
    old.save_file(path("keep.xii"));
    const tbytearr before = file_bytes(path("keep.xii"));

    TXIIFile next = with_identity();
    next.writesinglearr("S", "big", tsinglearr(100000, 0.5f));
    const std::size_t total = next.save_bytes().size();
    for (std::size_t limit : {std::size_t{0}, std::size_t{10}, std::size_t{70000}, total - 1}) {
        tfailingops ops;
        ops.writelimit = limit;
        try {
            next.save_file(path("keep.xii"), ops);
            FAIL() << limit;
        } catch (const EFileSaveError& e) {
            EXPECT_NE(std::string(e.what()).find("Error saving file\r"), std::string::npos);
            EXPECT_NE(std::string(e.what()).find("28 ("), std::string::npos);  // ENOSPC
        }
        EXPECT_EQ(file_bytes(path("keep.xii")), before) << limit;
        EXPECT_EQ(listing(), std::vector<std::string>{"keep.xii"});  // no temporary left
    }
    tfailingops refuse;
    refuse.failrename = true;
    EXPECT_THROW(next.save_file(path("keep.xii"), refuse), EFileSaveError);
    EXPECT_EQ(file_bytes(path("keep.xii")), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.xii"});

    // And a real short write: the file-size limit stops the kernel writing.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldsig = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        next.save_file(path("keep.xii"));
    } catch (const EFileSaveError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldsig);
    EXPECT_TRUE(threw);
    EXPECT_EQ(file_bytes(path("keep.xii")), before);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.xii"});

    // The save that works replaces the file, keeping its permissions.
    fs::permissions(path("keep.xii"), fs::perms::owner_read | fs::perms::owner_write);
    next.save_file(path("keep.xii"));
    EXPECT_EQ(file_bytes(path("keep.xii")), next.save_bytes());
    EXPECT_EQ(fs::status(path("keep.xii")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(listing(), std::vector<std::string>{"keep.xii"});
}

TEST_F(xiitest, SavingCreatesFoldersAndFollowsLinks) {
    TXIIFile x = with_identity();
    x.writeinteger("a", "b", 1);
    x.save_file(path("new/deeper/f.xii"));
    EXPECT_EQ(file_bytes(path("new/deeper/f.xii")), x.save_bytes());
    fs::create_symlink(path("new/deeper/f.xii"), path("link.xii"));
    x.writeinteger("a", "b", 2);
    x.save_file(path("link.xii"));
    EXPECT_TRUE(fs::is_symlink(path("link.xii")));
    TXIIFile r;
    ASSERT_TRUE(r.open_file(path("new/deeper/f.xii")));
    EXPECT_EQ(r.readinteger("a", "b", 0), 2);
    // A folder where the file should be, or a file where a folder should be.
    EXPECT_THROW(x.save_file(path("new")), EFileSaveError);
    EXPECT_THROW(x.save_file(path("link.xii/sub/f.xii")), EFileSaveError);
}

TEST_F(xiitest, IdentityAndDefaultLocation) {
    TXIIFile x;
    x.SetFileId("TessalSettings");
    try {
        x.save_file(path("f.xii"));
        FAIL();
    } catch (const EXIIfileError& e) {
        EXPECT_STREQ(e.what(), "Nothing assigned to ProgId");
    }
    EXPECT_THROW(x.settings_filename(), EXIIfileError);
    EXPECT_FALSE(fs::exists(path("f.xii")));
    x.SetProgId({"Mk", "Pr", "1.2"});
    x.SetAppDataFolder(path("appdata"));
    x.SetSettingsFileName("tessalsettings.xiifile");
    const std::string where = x.settings_filename();
    EXPECT_EQ(where, path("appdata/Mk/Pr/1.2/tessalsettings.xiifile"));
    EXPECT_TRUE(fs::is_directory(path("appdata/Mk/Pr/1.2")));
    x.writebool("Main", "Flag", true);
    x.save_file("");
    TXIIFile r;
    r.SetProgId({"Mk", "Pr", "1.2"});
    r.SetAppDataFolder(path("appdata"));
    r.SetSettingsFileName("tessalsettings.xiifile");
    ASSERT_TRUE(r.open_file(""));
    EXPECT_TRUE(r.readbool("main", "flag", false));
    TXIIFile noid = with_identity();
    noid.SetFileId("");
    EXPECT_THROW(noid.save_file(path("g.xii")), EXIIfileError);
    EXPECT_EQ(TXIIFile().GetFileVersion(), "0.0");
    EXPECT_EQ(TXIIFile().GetSettingsFileName(), "settings.xiifile");
}

}  // namespace
}  // namespace tessal
