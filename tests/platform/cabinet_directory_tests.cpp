#include "platform/cabinet_directory.h"

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

using namespace fm;
using namespace fm::test;

namespace {

std::string describe(const CabinetFileRecord& r) {
    char fields[64];
    std::snprintf(fields, sizeof fields, " utf=%d size=%u date=%04x time=%04x", r.nameIsUtf8,
                  r.size, r.dosDate, r.dosTime);
    return r.name + fields;
}

std::vector<std::string> expected(const CabPlan& plan, std::size_t first = 0,
                                  std::size_t count = SIZE_MAX) {
    std::vector<std::string> out;
    for (std::size_t i = first; i < plan.files.size() && i - first < count; ++i) {
        const CabFilePlan& f = plan.files[i];
        out.push_back(describe({f.name, (f.attribs & kAttrNameIsUtf8) != 0,
                                f.declaredSize.value_or(static_cast<std::uint32_t>(f.data.size())),
                                f.date, f.time}));
    }
    return out;
}

// Files over four folders in an order that is neither by folder nor by name, with folder parts,
// both kinds of name, an empty file, extreme sizes and odd dates.
CabPlan samplePlan() {
    CabPlan plan;
    plan.folders = {CabCompression::Stored, CabCompression::MsZip, CabCompression::Stored,
                    CabCompression::MsZip};
    plan.blockSize = 4096;
    plan.files = {cabFile("zeta.txt", std::string(10000, 'z'), 1),
                  cabFile("docs\\setup.txt", "setup", 0),
                  cabFile("empty.dat", "", 1),
                  cabFile("caf\xE9\\na\xEFve.txt", "latin", 2),
                  cabFile("\xE2\x82\xAC\\\xF0\x9F\x98\x80.txt", std::string(5000, 'e'), 0),
                  cabFile("alpha.txt", "a", 1)};
    plan.files[4].attribs |= kAttrNameIsUtf8;
    plan.files[1].date = dosDate(1980, 1, 1);
    plan.files[2].declaredSize = 0xFFFFFFFF;
    plan.files[5].date = dosDate(2001, 0, 15); // stored as is: rejecting is the reader's job
    plan.files[5].time = dosTime(24, 0, 0);
    return plan;
}

// The cabinet with its data blocks overwritten: a listing never reads them.
std::string garbled(std::string bytes, const CabPlan& plan) {
    for (std::size_t i = layoutOf(plan).firstDataBlock; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    return bytes;
}

class CabinetDirectory : public testing::Test {
protected:
    std::vector<std::string> list(const std::string& path) {
        std::vector<std::string> out;
        const CabinetListing got =
            IterateCabinet(path, [&](const CabinetFileRecord& r) { out.push_back(describe(r)); });
        EXPECT_EQ(got.files, out.size());
        problem = got.problem;
        return out;
    }
    std::vector<std::string> listBytes(const std::string& bytes) {
        writeFile(dir.file("d.cab"), bytes);
        return list(dir.file("d.cab"));
    }
    std::size_t nameAt(std::size_t i) const { // offset of record i's name
        std::size_t at = layoutOf(plan).firstFileEntry;
        for (std::size_t k = 0; k < i; ++k)
            at += 16 + plan.files[k].name.size() + 1;
        return at + 16;
    }
    TempDir dir;
    std::string problem; // of the last listing
    CabPlan plan = samplePlan();
    std::string bytes = garbled(buildCabinet(plan), plan);
};

} // namespace

TEST_F(CabinetDirectory, CutOrDamagedTablesListTheRecordsBeforeTheDamage) {
    EXPECT_EQ(listBytes(bytes), expected(plan));
    EXPECT_EQ(problem, "");
    const std::pair<std::size_t, std::size_t> cuts[] = {
        {nameAt(3) + 3, 3}, {nameAt(3) - 9, 3}, {nameAt(2) - 16, 2}, {nameAt(0) - 11, 0}};
    for (auto [cut, kept] : cuts) {
        EXPECT_EQ(listBytes(bytes.substr(0, cut)), expected(plan, 0, kept)) << cut;
        EXPECT_EQ(problem, "The cabinet is damaged: " + std::to_string(kept) +
                               " of its 6 files could be read.");
    }

    // A name of 256 bytes or more ends the listing; 255 is still a name.
    plan.files[2].name = std::string(300, 'n');
    EXPECT_EQ(listBytes(buildCabinet(plan)), expected(plan, 0, 2));
    plan.files[2].name = std::string(255, 'n');
    EXPECT_EQ(listBytes(buildCabinet(plan)), expected(plan));
    // A record in no folder or without a name is left out, also when the table is cut afterwards.
    plan.files[1].folder = 4; // one past the last
    plan.files[3].name = "";
    std::vector<std::string> want = expected(plan);
    want.erase(want.begin() + 3);
    want.erase(want.begin() + 1);
    EXPECT_EQ(listBytes(buildCabinet(plan)), want);
    EXPECT_EQ(listBytes(buildCabinet(plan).substr(0, nameAt(4))),
              std::vector<std::string>(want.begin(), want.begin() + 2));
}

TEST_F(CabinetDirectory, ReserveFieldsAndLargeTablesAlsoWhenTheTableIsCut) {
    plan.largestReserves = true;
    bytes = buildCabinet(plan);
    EXPECT_EQ(listBytes(bytes), expected(plan));
    EXPECT_EQ(listBytes(bytes.substr(0, nameAt(3) + 2)), expected(plan, 0, 3));
    EXPECT_TRUE(listBytes(bytes.substr(0, 38)).empty()); // in the reserve sizes
    EXPECT_EQ(problem, "The cabinet is damaged: it is cut short before its file list.");
    // Large tables straddle every read buffer.
    plan = {};
    for (int i = 0; i < 3000; ++i)
        plan.files.push_back(cabFile("f\\" + std::string(i % 61, 'x') + std::to_string(i), "d"));
    bytes = buildCabinet(plan);
    EXPECT_EQ(listBytes(bytes), expected(plan));
    EXPECT_EQ(listBytes(bytes.substr(0, nameAt(2999) + 2)), expected(plan, 0, 2999));
}

TEST_F(CabinetDirectory, UnreadableCabinetsListNothingAndPrintNothing) {
    std::string badSignature = bytes, noFiles = bytes;
    badSignature[0] = 'X';
    noFiles[28] = noFiles[29] = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::string notCab = "This is not a cabinet file.";
    const std::pair<std::string, std::string> cases[] = {
        {badSignature, notCab},
        {bytes.substr(0, 40), "The cabinet is damaged: 0 of its 6 files could be read."},
        {std::string(), notCab},
        {noFiles, ""}, // empty, but whole
        {dir.file("missing.cab"), "No such file or directory."},
        {dir.path(), notCab},
        {dir.file("pipe.cab"), notCab}, // must not wait for a writer
    };
    ASSERT_EQ(mkfifo(dir.file("pipe.cab").c_str(), 0600), 0);
    for (const auto& [b, why] : cases) {
        EXPECT_TRUE((b.starts_with(dir.path()) ? list(b) : listBytes(b)).empty()) << b;
        EXPECT_EQ(problem, why) << b;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr(), "");
}

TEST_F(CabinetDirectory, RealCabinetsAndASpannedSetListingEachFileOnce) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "the shared folder with real cabinets is absent";
    auto names = [&](const std::string& cab) {
        std::vector<std::string> out;
        const CabinetListing got =
            IterateCabinet(shared + "/cabs/" + cab, [&](const CabinetFileRecord& r) {
                out.push_back(r.name + " " + std::to_string(r.size));
            });
        EXPECT_EQ(got.problem, "") << cab; // files continued from before are no damage
        return out;
    };
    // A part lists the files that start in it, not those continued from before.
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"split-2.cab", {"medium2.bin 50000"}},
        {"split-3.cab", {}},
        {"split-5.cab", {}},
        {"mszip_lzx_qtm.cab", {"mszip.txt 57", "lzx.txt 187", "qtm.txt 59"}},
        {"reserve_---.cab", {"test1.txt 5", "test2.txt 5"}},
        {"multi-folder-compressed.cab", {"test\\example.jpg 567720", "test\\test.txt 7"}},
    };
    for (const auto& [cab, want] : cases)
        EXPECT_EQ(names(cab), want) << cab;
    // Cut parts: split-2 names both neighbours, reserve_--- has reserve fields.
    const std::string split = readFile(shared + "/cabs/split-2.cab");
    EXPECT_EQ(listBytes(split.substr(0, split.find("medium2.bin") + 12)).size(), 1u);
    EXPECT_EQ(listBytes(split.substr(0, split.find("medium2.bin") + 4)).size(), 0u);
    const std::string reserve = readFile(shared + "/cabs/reserve_---.cab");
    EXPECT_EQ(listBytes(reserve.substr(0, reserve.find("test2.txt") + 2)).size(), 1u);
}

TEST(StoredNameToUtf8, Windows1252AndUtf8) {
    EXPECT_EQ(Windows1252ToUtf8("\x80\x81\x8A\x9F\xA0\xC9t\xE9\\\xFF"),
              "\u20AC\u0081\u0160\u0178\u00A0\u00C9t\u00E9\\\u00FF");
    EXPECT_EQ(StoredNameToUtf8("caf\xC3\xA9", false), "caf\u00C3\u00A9");
    for (const char* s : {"\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEF\xBF\xBF",
                          "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(StoredNameToUtf8(s, true), s) << s;
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<const char*, std::string> bad[] = {{"\xC0\xAF", r + r},
                                                       {"\xE0\x80\xAF", r + r + r},
                                                       {"\xF0\x80\x80\xAF", r + r + r + r},
                                                       {"\xED\xA0\x80", r + r + r},
                                                       {"\xF4\x90\x80\x80", r + r + r + r},
                                                       {"\xFF", r},
                                                       {"a\xE2\x82", "a" + r},
                                                       {"\xE2\x82/", r + "/"},
                                                       {"\xC3\xE2\x82\xAC", r + "\u20AC"}};
    for (const auto& [in, out] : bad)
        EXPECT_EQ(StoredNameToUtf8(in, true), out) << testing::PrintToString(in);
}

// Names without the UTF-8 flag in each code page offered: a double-byte character is taken whole
// even when its second byte is 0x5C, and a byte the code page does not assign becomes U+FFFD.
TEST(StoredNameToUtf8, ReadsEachCodePageAsItsSystemsDo) {
    const std::tuple<int, const char*, const char*, std::u16string> cases[] = {
        {1252, "\x80\\\x95\x5C", "\u20AC\\\u2022\\", u"\u20AC\\\u2022\\"},
        {437, "\x80\x9B\\", "\u00C7\u00A2\\", u"\u00C7\u00A2\\"},
        {850, "\x9B\xD5", "\u00F8\u0131", u"\u00F8\u0131"},
        {866, "\x80\xF0", "\u0410\u0401", u"\u0410\u0401"},
        {932, "\x95\x5C\\\x83\x65.txt", "\u8868\\\u30C6.txt", u"\u8868\\\u30C6.txt"},
        {932, "\x82\xA0\xFF\x80\\\x82", "\u3042\uFFFD\uFFFD\\\uFFFD",
         u"\u3042\uFFFD\uFFFD\\\uFFFD"},
        {936, "\xC4\xE3\x81\x5C", "\u4F60\u4E57", u"\u4F60\u4E57"},
        {949, "\xB0\xA1\x81\x5C", "\uAC00\uFFFD\\", u"\uAC00\uFFFD\\"},
        {950, "\xA4\x40\xA5\x5C", "\u4E00\u529F", u"\u4E00\u529F"},
        {1250, "\x8A\xB9", "\u0160\u0105", u"\u0160\u0105"},
        {1251, "\xC0\x98", "\u0410\uFFFD", u"\u0410\uFFFD"},
        {1253, "\xC1\xAA", "\u0391\uFFFD", u"\u0391\uFFFD"},
        {65001, "\x80", "\u20AC", u"\u20AC"}, // not offered: read as 1252
    };
    for (const auto& [codePage, raw, utf8, utf16] : cases) {
        EXPECT_EQ(StoredNameToUtf8(raw, false, codePage), utf8) << codePage;
        char16_t out[256];
        EXPECT_EQ(std::u16string(out, StoredNameToUtf16(raw, false, out, codePage)), utf16)
            << codePage;
        EXPECT_EQ(StoredNameToUtf8("\xE8\xA1\xA8", true, codePage), "\u8868") << codePage;
    }
}

TEST(DosDateTimeToDate, AcceptsRealDatesAndRejectsWhatWindowsRejects) {
    const std::uint16_t noon = dosTime(12, 0, 0), day = dosDate(2002, 3, 15);
    const std::tuple<std::uint16_t, std::uint16_t, CalendarDate> real[] = {
        {day, dosTime(12, 34, 56), {2002, 3, 15}},
        {dosDate(1980, 1, 1), dosTime(0, 0, 0), {1980, 1, 1}},
        {dosDate(2107, 12, 31), dosTime(23, 59, 58), {2107, 12, 31}},
        {dosDate(2000, 2, 29), noon, {2000, 2, 29}},
        {dosDate(2023, 4, 30), noon, {2023, 4, 30}}};
    for (const auto& [date, time, want] : real)
        EXPECT_EQ(DosDateTimeToDate(date, time), want) << std::hex << date << " " << time;
    const CalendarDate zero{1601, 1, 1};
    for (std::uint16_t date : {dosDate(2002, 0, 15), dosDate(2002, 13, 15), dosDate(2002, 3, 0),
                               dosDate(2023, 2, 29), dosDate(2100, 2, 29), dosDate(2023, 4, 31)})
        EXPECT_EQ(DosDateTimeToDate(date, noon), zero) << std::hex << date;
    for (std::uint16_t time : {dosTime(24, 0, 0), dosTime(12, 60, 0), dosTime(12, 0, 60)})
        EXPECT_EQ(DosDateTimeToDate(day, time), zero) << std::hex << time;
}
