// Writes the starting corpora of the fuzz targets (corpus/<target>/seed-*) from the tests' cabinet
// writer and sample settings files. Run it after changing a target's input format:
//   cmake --build build --target fuzz_make_seeds && build/fuzz/fuzz_make_seeds fuzz/corpus
// Inputs kept from findings (corpus/<target>/regress-*) are never touched.

#include "support/cab_writer.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace fm::test;

namespace {

std::string root;

void seed(const std::string& target, const std::string& name, const std::string& bytes) {
    writeFile(root + "/" + target + "/seed-" + name, bytes);
}

std::string text(std::size_t size) {
    static const std::string words[] = {"cabinet ", "folder ", "block ", "history ", "name\r\n"};
    std::string s;
    for (std::size_t i = 0; s.size() < size; ++i)
        s += words[(i * 7 + i / 5) % 5];
    s.resize(size);
    return s;
}

std::string lengthPrefixed(const std::string& s) {
    return std::string(1, static_cast<char>(s.size())) + s;
}

void directorySeeds() {
    CabPlan plain{{cabFile("readme.txt", "hello"), cabFile("docs\\a.txt", "abc"),
                   cabFile("docs\\sub\\b.bin", std::string(40, '\x01'))}};
    seed("cabinet_directory", "stored", buildCabinet(plain));
    CabPlan zipped{{cabFile("a.txt", text(3000)), cabFile("b.txt", text(500), 1)},
                   {CabCompression::MsZip, CabCompression::Stored}};
    seed("cabinet_directory", "two-folders", buildCabinet(zipped));
    CabPlan names{{cabFile("caf\xc3\xa9\\\xe2\x82\xac.txt", "u"), cabFile("caf\xe9.txt", "w"),
                   cabFile("bad\xc0\xaf", "x"), cabFile("a*?", "y")}};
    names.files[0].attribs |= kAttrNameIsUtf8;
    names.files[2].attribs |= kAttrNameIsUtf8;
    seed("cabinet_directory", "names", buildCabinet(names));
    CabPlan spanned{
        {cabFile("whole", "1"), cabFile("from-previous", "2"), cabFile("to-next", "3")}};
    spanned.files[1].folder = 0xFFFD;
    spanned.files[2].folder = 0xFFFE;
    seed("cabinet_directory", "continued", buildCabinet(spanned));
    CabPlan noFolder{{cabFile("lost", "1"), cabFile("kept", "2")}};
    noFolder.files[0].folder = 7;
    seed("cabinet_directory", "no-folder", buildCabinet(noFolder));
    const std::string cut = buildCabinet(plain);
    seed("cabinet_directory", "cut-in-table", cut.substr(0, layoutOf(plain).firstFileEntry + 20));
    seed("cabinet_directory", "empty", buildCabinet(CabPlan{}));
}

// One byte choosing the second file's start, then the folder's data blocks.
void mszipSeeds() {
    struct Case {
        const char* name;
        std::string data;
        std::size_t blockSize;
        char split;
    } cases[] = {
        {"history", text(70000), 32768, 0},
        {"small-blocks", text(5000), 1000, char(100)},
        {"zeros", std::string(40000, '\0'), 32768, char(200)},
        {"one-byte", "x", 32768, 0},
    };
    for (const Case& c : cases) {
        CabPlan plan{{cabFile("f", c.data)}, {CabCompression::MsZip}, c.blockSize};
        const std::string cab = buildCabinet(plan);
        seed("mszip", c.name, c.split + cab.substr(layoutOf(plan).firstDataBlock));
    }
}

// Section, key, value and the file's text, as settings_file_fuzz.cpp reads them.
void settingsSeeds() {
    auto input = [](int section, int key, const std::string& value, const std::string& file) {
        return std::string{char(section), 0, char(key), 0} + lengthPrefixed(value) + file;
    };
    const std::string usual = "[Fendlemark]\r\nInitialPath=C:\\home\\ann\r\nExtrAlwaysSame=0\r\n"
                              "ExtrPreservePath=1\r\nExtrObName=obSamePlus\r\nExtrSetFolder=\r\n";
    seed("settings_file", "replace-crlf", input(0, 0, "C:\\tmp\\x y", usual));
    seed("settings_file", "add-key", input(0, 4, "D:\\out", "[Fendlemark]\nInitialPath=C:\\\n"));
    seed("settings_file", "add-section-no-eol",
         input(1, 1, "1", "; comment\r\n[Fendlemark]\r\nExtrObName = \"obSetFolder\" "));
    seed("settings_file", "mixed-ends",
         input(0, 3, "obSetFolder",
               "\n[other]\rExtrObName=x\r\n[FENDLEMARK]\n  extrobname=old\r\n\n[z]\r\nk=v"));
    seed("settings_file", "empty", input(0, 2, "0", ""));
}

// A mode byte, then what that mode of tool_link_fuzz.cpp reads.
void linkSeeds() {
    seed("tool_link", "arguments",
         std::string{0, 0, 3} + lengthPrefixed("C:\\My Cabinets\\a b.cab") + "\x03" +
             lengthPrefixed("a*") + "\x01" + lengthPrefixed("x\\\"y\\") + "\x00" +
             lengthPrefixed("") + "\x01" + lengthPrefixed("C:\\out\\"));
    seed("tool_link", "link",
         std::string{1, 2} + lengthPrefixed("media/ann/STICK") + lengthPrefixed("mnt/a b") +
             std::string{2, 17, 0, 0, 0} + lengthPrefixed("docs\\readme.txt") +
             std::string{18, 0, 0, 0} + lengthPrefixed("a*\n\x7f"));
    const std::string mounts = "/dev/sdb1 /media/ann/STICK vfat rw 0 0\n"
                               "/dev/sdc1 /mnt/two\\040words ext4 rw 0 0\nproc /proc proc rw 0 0\n";
    seed("tool_link", "drive-map",
         std::string{2, char(mounts.size()), 0} + mounts + lengthPrefixed("D:\\x\\y") +
             lengthPrefixed("/mnt/two words/f") + lengthPrefixed("/media/ann/STICK"));
    seed("tool_link", "text",
         "\x03"
         "fendlemark-link 1\ndrive d /media/ann/STICK\nfile 0 a\\040b\nfile 4294967295 \\134\n");
}

// Compression, the records (name pieces, data length, UTF-8 flag), -p, the rows chosen, and the
// odd shapes (records marked continued, a second file table), as selection_fuzz.cpp reads them.
// Piece numbers index its kPieces.
void selectionSeeds() {
    struct Record {
        std::string pieces;
        char utf8;
    };
    auto input = [](char mszip, const std::vector<Record>& records, char keep,
                    const std::string& chosen) {
        std::string s{mszip, char(records.size() - 1)};
        for (const Record& r : records)
            s += char(r.pieces.size() - 1) + r.pieces + char(5) + r.utf8;
        return s + keep + chosen;
    };
    // Twins named alike, the first marked continued from a previous part the header lacks.
    const std::string a(1, '\0');
    std::string twins = input(1, {{a, 0}, {a, 0}}, 0, std::string("\x01\x00\x01\x00", 4));
    twins[8] = 6; // the second one byte longer: not to be taken for the first by its length
    seed("selection", "continued-without-previous", twins);
    seed("selection", "second-file-table",
         input(1, {{a, 0}, {a, 0}, {"\x02", 0}}, 0, std::string("\x00\x01\x01\x00\x01", 5)));
    seed("selection", "case-twins-and-wildcards",
         input(0, {{"\x11", 0}, {"\x12", 0}, {"\x00\x03", 0}, {"\x00\x02\x00", 0}}, 1,
               "\x01\x00\x01\x00"));
    seed("selection", "same-file-flat",
         input(1, {{"\x13\x11", 0}, {"\x11", 0}, {"\x05\x11", 0}}, 0, "\x01\x01\x01"));
    seed("selection", "anchors-and-bad-bytes",
         input(0,
               {{"\x09\x05\x08\x05\x00", 0},
                {"\x00\x0e", 1},
                {"\x00\x0f", 1},
                {"\x00\x06\x02", 0},
                {"\x00\x13", 0},
                {"\x0b\x0c", 0}},
               1, "\x01\x01\x01\x01\x01\x01"));
}

// A program stub with a false "MSCF", then a cabinet; two cabinets back to back.
void containerSeeds() {
    const std::string stub = "MZ" + std::string(98, '\0') + "MSCF" + std::string(400, '\1');
    const CabPlan one{{cabFile("a.txt", "alpha")}},
        two{{cabFile("b.txt", "bee")}, {CabCompression::MsZip}};
    seed("container", "stub-and-cabinet", stub + buildCabinet(one));
    seed("container", "two-cabinets", buildCabinet(one) + buildCabinet(two) + "MSCF");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    root = argv[1];
    directorySeeds();
    mszipSeeds();
    settingsSeeds();
    linkSeeds();
    selectionSeeds();
    containerSeeds();
    return 0;
}
