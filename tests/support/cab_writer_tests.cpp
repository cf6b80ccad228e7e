// The writer is only as good as the decoders' verdict on what it writes: every cabinet here is
// listed, tested and unpacked by cabextract and libmspack, and compared with what went in.

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <mspack.h>

#include <cstdio>
#include <memory>
#include <sys/wait.h>

using namespace fm::test;

namespace {

std::string noise(std::size_t n, std::uint32_t seed) {
    std::string out(n, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

std::string text(std::size_t n) {
    std::string out;
    while (out.size() < n)
        out += "line " + std::to_string(out.size() % 97) + " of some compressible text\n";
    out.resize(n);
    return out;
}

CabFilePlan file(std::string name, std::string data, int folder = 0, std::uint16_t attribs = 0x20) {
    CabFilePlan f;
    f.name = std::move(name);
    f.data = std::move(data);
    f.folder = folder;
    f.attribs = attribs;
    return f;
}

// Two folders with several blocks each, a third holding only an empty file (so no blocks at
// all), folder parts in names, a UTF-8 name with the flag and a Latin-1 one without.
CabPlan mixedPlan(CabCompression c, std::size_t blockSize) {
    CabPlan plan;
    plan.folders = {c, c, c};
    plan.blockSize = blockSize;
    plan.files.push_back(file("readme.txt", text(1000)));
    plan.files.push_back(file("docs\\big.bin", text(50000) + noise(40000, 1)));
    plan.files.push_back(file("gr\xC3\xBC\xC3\x9F"
                              "e\\\xE2\x82\xAC.txt",
                              text(70000), 1, 0x20 | kAttrNameIsUtf8));
    plan.files.push_back(file("caf\xE9.txt", noise(33000, 7), 1, 0x21));
    plan.files.push_back(file("empty.txt", "", 2));
    plan.files[2].date = dosDate(2020, 2, 29);
    plan.files[2].time = dosTime(23, 59, 58);
    plan.files[3].date = dosDate(1980, 1, 1);
    plan.files[3].time = dosTime(0, 0, 0);
    return plan;
}

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun run(const std::string& command) {
    ToolRun r;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe)
        return r;
    char buf[4096];
    while (std::size_t n = fread(buf, 1, sizeof buf, pipe.get()))
        r.output.append(buf, n);
    const int raw = pclose(pipe.release());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

bool haveTool(const std::string& name) {
    return run("command -v " + name).status == 0;
}

std::string posixName(std::string name) {
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

void expectUnpackedAsWritten(const CabPlan& plan, const std::string& dir) {
    for (const CabFilePlan& f : plan.files) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(readFile(dir + "/" + posixName(f.name)), f.data);
    }
}

const CabCompression kBoth[] = {CabCompression::Stored, CabCompression::MsZip};

} // namespace

TEST(CabWriter, CabextractTestsListsAndUnpacksWhatWasWritten) {
    if (!haveTool("cabextract"))
        GTEST_SKIP() << "cabextract is not installed";
    for (CabCompression c : kBoth) {
        for (std::size_t blockSize : {std::size_t(32768), std::size_t(3000)}) {
            SCOPED_TRACE(testing::Message() << "MSZIP " << (c == CabCompression::MsZip)
                                            << ", block size " << blockSize);
            TempDir dir;
            const CabPlan plan = mixedPlan(c, blockSize);
            writeCabinet(dir.file("a.cab"), plan);

            ToolRun tested = run("cabextract -t '" + dir.file("a.cab") + "'");
            EXPECT_EQ(tested.status, 0) << tested.output;
            EXPECT_NE(tested.output.find("All done, no errors."), std::string::npos);

            ToolRun listed = run("cabextract -l '" + dir.file("a.cab") + "'");
            EXPECT_EQ(listed.status, 0) << listed.output;
            for (const char* row : {"      1000 | 15.03.2002 12:34:56 | readme.txt\n",
                                    "     90000 | 15.03.2002 12:34:56 | docs/big.bin\n",
                                    "     70000 | 29.02.2020 23:59:58 | gr\xC3\xBC\xC3\x9F"
                                    "e/\xE2\x82\xAC.txt\n",
                                    "     33000 | 01.01.1980 00:00:00 | caf\xE9.txt\n",
                                    "         0 | 15.03.2002 12:34:56 | empty.txt\n"})
                EXPECT_NE(listed.output.find(row), std::string::npos) << row << listed.output;

            ToolRun unpacked =
                run("cabextract -q -d '" + dir.file("out") + "' '" + dir.file("a.cab") + "'");
            ASSERT_EQ(unpacked.status, 0) << unpacked.output;
            expectUnpackedAsWritten(plan, dir.file("out"));
        }
    }
}

TEST(CabWriter, LibmspackReadsRecordsAndDataWithChecksumsVerified) {
    CabPlan plan = mixedPlan(CabCompression::MsZip, 32768);
    plan.folders[0] = CabCompression::Stored;
    CabFilePlan huge = file("huge.bin", "", 2);
    huge.declaredSize = 0xFFFFFFFF;
    plan.files.push_back(huge);
    TempDir dir;
    const std::string path = dir.file("a.cab"); // libmspack keeps the pointer
    writeCabinet(path, plan);

    mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
    ASSERT_NE(cabd, nullptr);
    mscabd_cabinet* cab = cabd->open(cabd, path.c_str());
    ASSERT_NE(cab, nullptr);
    EXPECT_EQ(cab->set_id, plan.setId);
    std::size_t i = 0;
    for (mscabd_file* f = cab->files; f; f = f->next, ++i) {
        ASSERT_LT(i, plan.files.size());
        const CabFilePlan& want = plan.files[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(f->filename, want.name);
        EXPECT_EQ(f->length, want.declaredSize.value_or(want.data.size()));
        EXPECT_EQ(f->attribs, want.attribs);
        EXPECT_EQ(((f->date_y - 1980) << 9) | (f->date_m << 5) | f->date_d, want.date);
        EXPECT_EQ((f->time_h << 11) | (f->time_m << 5) | (f->time_s / 2), want.time);
        if (!want.declaredSize) {
            const std::string out = dir.file("x" + std::to_string(i));
            EXPECT_EQ(cabd->extract(cabd, f, out.c_str()), MSPACK_ERR_OK);
            EXPECT_EQ(readFile(out), want.data);
        }
    }
    EXPECT_EQ(i, plan.files.size());
    cabd->close(cabd, cab);
    mspack_destroy_cab_decompressor(cabd);
}

TEST(CabWriter, MsZipBlocksReachBackIntoThePreviousFullBlock) {
    // The second block repeats the end of the first: with the first as preset dictionary it
    // costs a few bytes, without it another 16K of incompressible data.
    CabPlan plan;
    plan.folders = {CabCompression::MsZip};
    const std::string block = noise(32768, 3);
    plan.files.push_back(file("twice.bin", block + block.substr(16384)));
    EXPECT_LT(buildCabinet(plan).size(), block.size() + 1000);
}
