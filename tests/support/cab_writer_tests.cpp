// The writer is only as good as an independent reader's verdict on what it writes: cabextract
// tests, lists and unpacks its cabinets, and what comes out must be what went in.

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace fm::test;

namespace {

// Compressible text followed by noise, different per seed.
std::string sample(std::size_t text, std::size_t noise, std::uint32_t seed) {
    std::string out;
    while (out.size() < text)
        out += "line " + std::to_string(out.size() % 97) + " of some compressible text\n";
    out.resize(text);
    for (std::size_t i = 0; i < noise; ++i)
        out += static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
    return out;
}

} // namespace

TEST(CabWriter, CabextractTestsListsAndUnpacksWhatWasWritten) {
    // A second block that repeats the end of the first costs a few bytes only with the first as
    // the deflate history, another 16K of incompressible data without it.
    CabPlan twice;
    twice.folders = {CabCompression::MsZip};
    const std::string block = sample(0, 32768, 3);
    twice.files = {cabFile("twice.bin", block + block.substr(16384))};
    EXPECT_LT(buildCabinet(twice).size(), block.size() + 1000);
    if (std::system("cabextract -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cabextract is not installed";
    for (CabCompression c : {CabCompression::Stored, CabCompression::MsZip}) {
        for (std::size_t blockSize : {std::size_t(32768), std::size_t(3000)}) {
            SCOPED_TRACE(::testing::Message() << int(c) << ", blocks of " << blockSize);
            // Several blocks per folder, a folder with an empty file only, folder parts in
            // names, a UTF-8 name with its flag.
            CabPlan plan;
            plan.folders = {c, c, c};
            plan.blockSize = blockSize;
            plan.files = {cabFile("docs\\big.bin", sample(50000, 40000, 1)),
                          cabFile("gr\xC3\xBC\xC3\x9F"
                                  "e\\\xE2\x82\xAC.txt",
                                  sample(70000, 0, 0), 1),
                          cabFile("caf\xE9.txt", sample(0, 33000, 7), 1),
                          cabFile("empty.txt", "", 2)};
            plan.files[1].attribs |= kAttrNameIsUtf8;
            plan.files[1].date = dosDate(2020, 2, 29);
            plan.files[1].time = dosTime(23, 59, 58);
            TempDir dir;
            writeCabinet(dir.file("a.cab"), plan);
            const std::string cab = " '" + dir.file("a.cab") + "' >" + dir.file("log") + " 2>&1";
            EXPECT_EQ(std::system(("cabextract -t" + cab).c_str()), 0) << readFile(dir.file("log"));
            ASSERT_EQ(std::system(("cabextract -l" + cab).c_str()), 0);
            EXPECT_NE(readFile(dir.file("log"))
                          .find("     70000 | 29.02.2020 23:59:58 | gr\xC3\xBC\xC3\x9F"
                                "e/\xE2\x82\xAC.txt\n"),
                      std::string::npos);
            ASSERT_EQ(std::system(("cabextract -q -d '" + dir.file("out") + "'" + cab).c_str()), 0);
            for (const CabFilePlan& f : plan.files) {
                std::string name = f.name;
                std::replace(name.begin(), name.end(), '\\', '/');
                EXPECT_TRUE(readFile(dir.file("out/" + name)) == f.data) << name;
            }
        }
    }
}
