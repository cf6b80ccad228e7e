#include "platform/cabinet_directory.h"

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using fm::CabinetFileRecord;
using fm::CalendarDate;
using fm::DosDateTimeToDate;
using fm::IterateCabinet;
using fm::StoredNameToUtf8;
using fm::Windows1252ToUtf8;
using namespace fm::test;

namespace {

// One line per record, so a mismatch shows the whole listing.
std::string describe(const CabinetFileRecord& r) {
    char fields[64];
    std::snprintf(fields, sizeof fields, " utf=%d size=%u date=%04x time=%04x", r.nameIsUtf8,
                  r.size, r.dosDate, r.dosTime);
    return r.name + fields;
}

std::string describe(const CabFilePlan& f) {
    CabinetFileRecord r;
    r.name = f.name;
    r.nameIsUtf8 = (f.attribs & kAttrNameIsUtf8) != 0;
    r.size = f.declaredSize.value_or(static_cast<std::uint32_t>(f.data.size()));
    r.dosDate = f.date;
    r.dosTime = f.time;
    return describe(r);
}

std::vector<std::string> listing(const std::string& path) {
    std::vector<std::string> out;
    const std::size_t count =
        IterateCabinet(path, [&](const CabinetFileRecord& r) { out.push_back(describe(r)); });
    EXPECT_EQ(count, out.size());
    return out;
}

std::vector<std::string> expected(const CabPlan& plan, std::size_t first = 0,
                                  std::size_t count = SIZE_MAX) {
    std::vector<std::string> out;
    for (std::size_t i = first; i < plan.files.size() && i - first < count; ++i)
        out.push_back(describe(plan.files[i]));
    return out;
}

std::vector<std::string> names(const std::string& path) {
    std::vector<std::string> out;
    IterateCabinet(path, [&](const CabinetFileRecord& r) {
        out.push_back(r.name + " " + std::to_string(r.size) + (r.nameIsUtf8 ? " utf" : ""));
    });
    return out;
}

// Files spread over three folders (the last one empty), in an order that is neither by folder
// nor by name, with folder parts, both kinds of name, an empty file and odd dates.
CabPlan samplePlan() {
    CabPlan plan;
    plan.folders = {CabCompression::Stored, CabCompression::MsZip, CabCompression::Stored,
                    CabCompression::MsZip};
    plan.blockSize = 4096;
    plan.files = {
        cabFile("zeta.txt", std::string(10000, 'z'), 1),
        cabFile("docs\\setup.txt", "setup", 0),
        cabFile("empty.dat", "", 1),
        cabFile("caf\xE9\\na\xEFve.txt", "latin", 2),
        cabFile("\xE2\x82\xAC\\\xF0\x9F\x98\x80.txt", std::string(5000, 'e'), 0),
        cabFile("alpha.txt", "a", 1),
    };
    plan.files[4].attribs |= kAttrNameIsUtf8;
    plan.files[1].date = dosDate(1980, 1, 1);
    plan.files[1].time = dosTime(0, 0, 0);
    plan.files[2].date = dosDate(2107, 12, 31);
    plan.files[2].time = dosTime(23, 59, 58);
    plan.files[5].date = dosDate(2001, 0, 15); // stored as is: rejecting is the reader's job
    plan.files[5].time = dosTime(24, 0, 0);
    return plan;
}

} // namespace

// ---------------------------------------------------------------------------------------------

TEST(IterateCabinet, ListsEveryRecordInStoredOrderAsStored) {
    TempDir dir;
    const CabPlan plan = samplePlan();
    writeCabinet(dir.file("a.cab"), plan);
    EXPECT_EQ(listing(dir.file("a.cab")), expected(plan));
}

TEST(IterateCabinet, TablesLargerThanAnyReadBuffer) {
    // 3000 records of varied length make a table of about 150K, so records and names straddle
    // every read-ahead boundary; a cut copy lists the records before the cut.
    CabPlan plan;
    for (int i = 0; i < 3000; ++i)
        plan.files.push_back(cabFile("folder\\" + std::string(i % 61, 'x') + std::to_string(i),
                                     std::string(i % 5, 'd')));
    TempDir dir;
    const std::string bytes = buildCabinet(plan);
    writeFile(dir.file("a.cab"), bytes);
    EXPECT_EQ(listing(dir.file("a.cab")), expected(plan));
    const std::size_t cut = bytes.find("folder\\" + std::string(2999 % 61, 'x') + "2999");
    writeFile(dir.file("cut.cab"), bytes.substr(0, cut));
    EXPECT_EQ(listing(dir.file("cut.cab")), expected(plan, 0, 2999));
}

TEST(IterateCabinet, SizesUpToTheLargestRecordValue) {
    CabPlan plan;
    plan.files = {cabFile("huge.bin", ""), cabFile("half.bin", ""), cabFile("small.bin", "x")};
    plan.files[0].declaredSize = 0xFFFFFFFF;
    plan.files[1].declaredSize = 0x80000000;
    TempDir dir;
    writeCabinet(dir.file("a.cab"), plan);
    EXPECT_EQ(listing(dir.file("a.cab")), expected(plan));
}

TEST(IterateCabinet, ListsRecordsContinuedFromOrIntoNeighbouringParts) {
    CabPlan plan;
    plan.files = {cabFile("from-previous.bin", ""), cabFile("own.bin", "own"),
                  cabFile("into-next.bin", ""), cabFile("through.bin", "")};
    plan.files[0].folder = 0xFFFD;
    plan.files[2].folder = 0xFFFE;
    plan.files[3].folder = 0xFFFF;
    plan.files[0].declaredSize = 70000;
    plan.files[2].declaredSize = 80000;
    plan.files[3].declaredSize = 90000;
    TempDir dir;
    writeCabinet(dir.file("a.cab"), plan);
    EXPECT_EQ(listing(dir.file("a.cab")), expected(plan));
}

TEST(IterateCabinet, SharedRealCabinets) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "the shared folder with real cabinets is absent";
    std::string hello;
    for (int i = 0; i < 50; ++i)
        hello += "Hello";
    const auto bytes = [](int from) {
        std::string out;
        for (int b = from; b < from + 32; ++b)
            out += static_cast<char>(b);
        return out + " 0";
    };
    // A part of a spanned set lists the files that start in it, not those continued from before.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"split-1.cab", {"small1.bin 2000", "small2.bin 8000", "medium1.bin 40000"}},
        {"split-2.cab", {"medium2.bin 50000"}},
        {"split-3.cab", {}},
        {"split-4.cab", {"small3.bin 128", "medium3.bin 40000"}},
        {"split-5.cab", {}},
        {"mszip_lzx_qtm.cab", {"mszip.txt 57", "lzx.txt 187", "qtm.txt 59"}},
        {"reserve_---.cab", {"test1.txt 5", "test2.txt 5"}},
        {"multi-folder-compressed.cab", {"test\\example.jpg 567720", "test\\test.txt 7"}},
        {"normal_255c_filename.cab", {hello + "!.txt 7"}},
        {"encoding-latin1.cab", {bytes(0xA0), bytes(0xC0), bytes(0xE0)}},
    };
    for (const auto& [name, want] : cases)
        EXPECT_EQ(names(shared + "/cabs/" + name), want) << name;
}

// ---------------------------------------------------------------------------------------------
// Damage: whatever can be read is listed, nothing else, never a message

void addTo32(std::string& bytes, std::size_t at, std::uint32_t delta) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    v += delta;
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(v >> (8 * i));
}

class DamagedCabinet : public testing::Test {
protected:
    void SetUp() override {
        plan_ = samplePlan();
        bytes_ = buildCabinet(plan_);
        layout_ = layoutOf(plan_);
    }
    std::vector<std::string> listBytes(const std::string& bytes) {
        writeFile(dir_.file("d.cab"), bytes);
        return listing(dir_.file("d.cab"));
    }
    // Offset of record i's name.
    std::size_t nameAt(std::size_t i) const {
        std::size_t at = layout_.firstFileEntry;
        for (std::size_t k = 0; k < i; ++k)
            at += 16 + plan_.files[k].name.size() + 1;
        return at + 16;
    }

    TempDir dir_;
    CabPlan plan_;
    std::string bytes_;
    CabLayout layout_{};
};

TEST_F(DamagedCabinet, DataBlocksAreNeverRead) {
    std::string garbage = bytes_;
    for (std::size_t i = layout_.firstDataBlock; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>(i * 7);
    EXPECT_EQ(listBytes(garbage), expected(plan_));
    EXPECT_EQ(listBytes(bytes_.substr(0, layout_.firstDataBlock)), expected(plan_));
}

TEST_F(DamagedCabinet, CutInTheFileTableListsTheRecordsBeforeTheCut) {
    // In the middle of the fourth record's name, of its fixed part, and just after the second.
    EXPECT_EQ(listBytes(bytes_.substr(0, nameAt(3) + 3)), expected(plan_, 0, 3));
    EXPECT_EQ(listBytes(bytes_.substr(0, nameAt(3) - 9)), expected(plan_, 0, 3));
    EXPECT_EQ(listBytes(bytes_.substr(0, nameAt(2) - 16)), expected(plan_, 0, 2));
    EXPECT_EQ(listBytes(bytes_.substr(0, layout_.firstFileEntry + 5)), expected(plan_, 0, 0));
}

TEST_F(DamagedCabinet, CutInTheTableOfASpannedPartWithReserveFields) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "the shared folder with real cabinets is absent";
    // split-2 carries the names of both neighbours; reserve_--- has the reserve flag set.
    const std::string split = readFile(shared + "/cabs/split-2.cab");
    const std::size_t cut = split.find("medium2.bin") + 12;
    EXPECT_EQ(listBytes(split.substr(0, cut)).size(), 1u);
    const std::string reserve = readFile(shared + "/cabs/reserve_---.cab");
    EXPECT_EQ(listBytes(reserve.substr(0, reserve.find("test2.txt") + 2)).size(), 1u);
}

TEST_F(DamagedCabinet, NameLongerThanTheFormatAllowsEndsTheListing) {
    // No reader can tell where a record after a name of 256 bytes or more begins.
    plan_.files[2].name = std::string(300, 'n');
    writeCabinet(dir_.file("a.cab"), plan_);
    EXPECT_EQ(listing(dir_.file("a.cab")), expected(plan_, 0, 2));
    plan_.files[2].name = std::string(255, 'n');
    writeCabinet(dir_.file("a.cab"), plan_);
    EXPECT_EQ(listing(dir_.file("a.cab")), expected(plan_));
}

TEST_F(DamagedCabinet, CutInTheTableAfterReserveFields) {
    // The writer's cabinet with 7 reserved header bytes and 3 after each folder record.
    const std::size_t headerReserve = 7, folderReserve = 3, folders = plan_.folders.size();
    const auto grown = static_cast<std::uint32_t>(4 + headerReserve + folders * folderReserve);
    std::string r = bytes_.substr(0, 36);
    r[30] = static_cast<char>(r[30] | 0x04);
    r += std::string{static_cast<char>(headerReserve), 0, static_cast<char>(folderReserve), 0};
    r += std::string(headerReserve, '\xAA');
    for (std::size_t i = 0; i < folders; ++i) {
        r += bytes_.substr(36 + 8 * i, 8);
        addTo32(r, r.size() - 8, grown); // where the folder's data starts
        r += std::string(folderReserve, '\xBB');
    }
    r += bytes_.substr(layout_.firstFileEntry);
    addTo32(r, 8, grown);  // cabinet size
    addTo32(r, 16, grown); // first file record
    EXPECT_EQ(listBytes(r), expected(plan_));
    EXPECT_EQ(listBytes(r.substr(0, nameAt(3) + grown + 2)), expected(plan_, 0, 3));
}

TEST_F(DamagedCabinet, RecordWithAnUnknownFolderIsLeftOut) {
    plan_.files[1].folder = 9;
    writeCabinet(dir_.file("a.cab"), plan_);
    std::vector<std::string> want = expected(plan_);
    want.erase(want.begin() + 1);
    EXPECT_EQ(listing(dir_.file("a.cab")), want);
    // Also where the table is cut short afterwards.
    EXPECT_EQ(listBytes(readFile(dir_.file("a.cab")).substr(0, nameAt(4))),
              (std::vector<std::string>(want.begin(), want.begin() + 3)));
}

TEST_F(DamagedCabinet, UnreadableHeadersListNothing) {
    std::string badSignature = bytes_;
    badSignature[0] = 'X';
    EXPECT_TRUE(listBytes(badSignature).empty());
    EXPECT_TRUE(listBytes(bytes_.substr(0, 20)).empty());
    EXPECT_TRUE(listBytes(bytes_.substr(0, 40)).empty()); // cut in the folder table
    EXPECT_TRUE(listBytes("").empty());
    EXPECT_TRUE(listBytes("This is not a cabinet, only some text.\n").empty());
    EXPECT_TRUE(listing(dir_.file("missing.cab")).empty());
    EXPECT_TRUE(listing(dir_.path()).empty()); // a folder
    ASSERT_EQ(mkfifo(dir_.file("pipe.cab").c_str(), 0600), 0);
    EXPECT_TRUE(listing(dir_.file("pipe.cab")).empty()); // must not wait for a writer
}

TEST_F(DamagedCabinet, NothingIsPrinted) {
    CabPlan noFiles;
    std::string header = bytes_;
    header[28] = header[29] = 0; // no files: libmspack's own console output would say so
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    listBytes(buildCabinet(noFiles));
    listBytes(header);
    listBytes(bytes_.substr(0, nameAt(2)));
    std::string version = bytes_;
    version[24] = version[25] = 9;
    listBytes(version);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// ---------------------------------------------------------------------------------------------
// Names

TEST(StoredNameToUtf8, Windows1252HighHalf) {
    std::string all;
    for (int b = 0x80; b <= 0x9F; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Windows1252ToUtf8(all), "\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021"
                                      "\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
                                      "\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014"
                                      "\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178");
    EXPECT_EQ(Windows1252ToUtf8("\xA0\xC9t\xE9\\\xFF"), "\u00A0\u00C9t\u00E9\\\u00FF");
    EXPECT_EQ(Windows1252ToUtf8("docs\\readme.txt"), "docs\\readme.txt");
    // Without the flag even well-formed UTF-8 is taken byte by byte.
    EXPECT_EQ(StoredNameToUtf8("caf\xC3\xA9", false), "caf\u00C3\u00A9");
    EXPECT_EQ(StoredNameToUtf8("caf\xC3\xA9", true), "caf\u00E9");
}

TEST(StoredNameToUtf8, WellFormedUtf8PassesUnchanged) {
    for (const char* s :
         {"plain\\name.txt", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
          "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(StoredNameToUtf8(s, true), s) << s;
}

TEST(StoredNameToUtf8, EachMaximalIllFormedSubpartBecomesOneReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"\xC0\xAF", r + r},                 // overlong '/'
        {"\xC1\x9C", r + r},                 // overlong '\'
        {"\xE0\x80\xAF", r + r + r},         // overlong '/', three bytes
        {"\xF0\x80\x80\xAF", r + r + r + r}, // overlong '/', four bytes
        {"\xED\xA0\x80", r + r + r},         // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // above U+10FFFF
        {"\xF5\x80", r + r},
        {"\xFF", r},
        {"\x80", r},
        {"a\xE2\x82", "a" + r}, // cut short at the end
        {"\xE2\x82/", r + "/"}, // cut short before an ASCII byte, which survives
        {"\xF0\x9F\x98\\", r + "\\"},
        {"\xC3\xE2\x82\xAC", r + "\u20AC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StoredNameToUtf8(c.in, true), c.out) << testing::PrintToString(c.in);
}

TEST(StoredNameToUtf8, NoIllFormedSequenceYieldsASeparatorOrIllFormedOutput) {
    // Every lead byte with continuation-range or separator bytes after it; a separator in the
    // output must be one of the input's own, and the output must decode to itself.
    std::vector<unsigned char> tails = {'/', '\\', 'a'};
    for (int b = 0x80; b <= 0xBF; ++b)
        tails.push_back(static_cast<unsigned char>(b));
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
        for (unsigned char a : tails) {
            for (unsigned char b : tails) {
                const std::string in = {static_cast<char>(lead), static_cast<char>(a),
                                        static_cast<char>(b)};
                const std::string out = StoredNameToUtf8(in, true);
                const auto separators = [](const std::string& s) {
                    return std::count(s.begin(), s.end(), '/') +
                           std::count(s.begin(), s.end(), '\\');
                };
                ASSERT_EQ(separators(out), separators(in)) << testing::PrintToString(in);
                ASSERT_EQ(StoredNameToUtf8(out, true), out) << testing::PrintToString(in);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Dates

TEST(DosDateTimeToDate, ValidDatesAcrossTheRange) {
    const std::uint16_t noon = dosTime(12, 0, 0);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2002, 3, 15), dosTime(12, 34, 56)),
              (CalendarDate{2002, 3, 15}));
    EXPECT_EQ(DosDateTimeToDate(dosDate(1980, 1, 1), dosTime(0, 0, 0)), (CalendarDate{1980, 1, 1}));
    EXPECT_EQ(DosDateTimeToDate(dosDate(2107, 12, 31), dosTime(23, 59, 58)),
              (CalendarDate{2107, 12, 31}));
    EXPECT_EQ(DosDateTimeToDate(dosDate(2000, 2, 29), noon), (CalendarDate{2000, 2, 29}));
    EXPECT_EQ(DosDateTimeToDate(dosDate(2024, 2, 29), noon), (CalendarDate{2024, 2, 29}));
    EXPECT_EQ(DosDateTimeToDate(dosDate(2023, 4, 30), noon), (CalendarDate{2023, 4, 30}));
}

TEST(DosDateTimeToDate, WhatWindowsRejectsGivesFileTimeZero) {
    const CalendarDate zero{1601, 1, 1};
    const std::uint16_t noon = dosTime(12, 0, 0);
    const std::uint16_t day = dosDate(2002, 3, 15);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2002, 0, 15), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2002, 13, 15), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2002, 15, 15), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2002, 3, 0), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2004, 2, 30), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2023, 2, 29), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(dosDate(2100, 2, 29), noon), zero); // century, not leap
    EXPECT_EQ(DosDateTimeToDate(dosDate(2023, 4, 31), noon), zero);
    EXPECT_EQ(DosDateTimeToDate(day, dosTime(24, 0, 0)), zero);
    EXPECT_EQ(DosDateTimeToDate(day, dosTime(31, 0, 0)), zero);
    EXPECT_EQ(DosDateTimeToDate(day, dosTime(12, 60, 0)), zero);
    EXPECT_EQ(DosDateTimeToDate(day, dosTime(12, 0, 60)), zero); // seconds field 30
    EXPECT_EQ(DosDateTimeToDate(day, dosTime(23, 59, 58)), (CalendarDate{2002, 3, 15}));
}
