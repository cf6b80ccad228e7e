// The tool beside cabextract on the shared real cabinets: the same listing, the same files, the
// same verdict of a test (T) on damaged copies.

#include "tool_runner.h"

#include "cabinet_layout.h"

#include <regex>

namespace {

// cabextract prints and writes names without the UTF-8 flag as raw bytes: read those as
// Windows-1252.
std::string asUtf8(const std::string& raw) {
    return fm::StoredNameToUtf8(raw, true) == raw ? raw : fm::Windows1252ToUtf8(raw);
}

Strings lines(const std::string& text) {
    Strings out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class ToolBesideCabextract : public ToolTest {
protected:
    void SetUp() override {
        cabs_ = sharedDir() + "/cabs/";
        if (sharedDir().empty())
            GTEST_SKIP() << "FM_SHARED_DIR with cabs/ is absent: no real cabinets to compare";
        if (runProgram("cabextract", {"-v"}, "/").status != 0)
            GTEST_SKIP() << "cabextract is not installed (scripts/install-deps installs it)";
    }

    // cabextract's "%10u | DD.MM.YYYY HH:MM:SS | name" rows in the tool's form.
    Strings theirListing(const std::string& cab) const {
        static const std::regex row(R"(^ *(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\S+) \| (.*)$)");
        Strings rows;
        for (const auto& line : lines(runProgram("cabextract", {"-l", cab}, "/").out)) {
            std::smatch m;
            if (std::regex_match(line, m, row))
                rows.push_back(std::string(10 - m[1].length(), ' ') + m[1].str() + "  " +
                               m[4].str() + "-" + m[3].str() + "-" + m[2].str() + " " + m[5].str() +
                               "  " + asUtf8(m[6].str()));
        }
        return rows;
    }
    Strings ourListing(const std::string& cab) const {
        ToolRun r = run({"L", cab});
        EXPECT_EQ(r.status, 0) << cab << ": " << r.err;
        std::replace(r.out.begin(), r.out.end(), '\\', '/');
        return lines(r.out);
    }

    // cabextract's files of `cab` against ours in `ours`: names, bytes, modification times.
    void expectSameFiles(const std::string& cab, const std::string& ours) {
        const std::string theirs = tmp.file("ce/" + fs::path(cab).stem().string());
        ASSERT_EQ(runProgram("cabextract", {"-q", "-d", theirs, cab}, "/").status, 0) << cab;
        auto filesIn = [](const std::string& folder) {
            std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
            for (const auto& e : fs::recursive_directory_iterator(folder)) {
                if (e.is_regular_file() && !e.is_symlink())
                    files[asUtf8(e.path().lexically_relative(folder))] = {
                        readFile(e.path()), fs::last_write_time(e.path())};
            }
            return files;
        };
        auto expected = filesIn(theirs);
        EXPECT_FALSE(expected.empty()) << cab;
        EXPECT_TRUE(filesIn(ours) == expected) << cab;
    }

    std::string cabs_;
};

} // namespace

TEST_F(ToolBesideCabextract, ListsAndExtractsWhatCabextractDoes) {
    for (const auto& e : fs::directory_iterator(cabs_)) {
        const std::string cab = e.path(), name = e.path().filename();
        if (!name.ends_with(".cab") || name.starts_with("split-"))
            continue;
        EXPECT_EQ(ourListing(cab), theirListing(cab)) << cab;
        ToolRun r = run({"-p", "X", cab, "*.*", out(name) + "/"});
        EXPECT_EQ(r.status, 0) << cab << ": " << r.err;
        expectSameFiles(cab, out(name));
    }
}

TEST_F(ToolBesideCabextract, EachFileOfASpannedSetFromThePartWhereItStarts) {
    // cabextract lists and extracts the whole set from its first part; the tool, given each
    // part, what starts there. The headers name the parts Split-2.CAB and so on.
    Strings listed;
    size_t extracted = 0;
    for (char part = '1'; part <= '5'; ++part) {
        const std::string cab = cabs_ + "split-" + part + ".cab";
        for (const auto& line : ourListing(cab))
            listed.push_back(line);
        ToolRun r = run({"-p", "X", cab, out() + "/"});
        EXPECT_EQ(r.status, 0) << cab << ": " << r.err;
        extracted += lines(r.out).size();
    }
    EXPECT_EQ(listed, theirListing(cabs_ + "split-1.cab"));
    EXPECT_EQ(extracted, 6u); // every file once
    expectSameFiles(cabs_ + "split-1.cab", out());
    // Without part 3, medium2.bin (from part 2 through 3 into 4) fails, naming the part missing;
    // small3 and medium3 start in 4 and come out.
    for (const char* part : {"split-1.cab", "split-2.cab", "split-4.cab", "split-5.cab"})
        fs::copy_file(cabs_ + part, tmp.file(part));
    ToolRun gap = run({"X", tmp.file("split-2.cab"), tmp.file("gap") + "/"});
    EXPECT_EQ(gap.status, 1);
    EXPECT_NE(gap.err.find("medium2.bin: "), std::string::npos) << gap.err;
    EXPECT_NE(gap.err.find("Split-3.CAB"), std::string::npos) << gap.err;
    EXPECT_EQ(run({"X", tmp.file("split-4.cab"), tmp.file("gap") + "/"}).status, 0);
    EXPECT_EQ(treeOf(tmp.file("gap")), "medium3.bin small3.bin");
}

// T beside cabextract -t, on each real cabinet as it is and damaged in several places.
TEST_F(ToolBesideCabextract, TestModeAgreesOnRealAndDamagedCabinets) {
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"as it is", [](std::string&) {}},
        {"a byte changed at 3/4", [](std::string& c) { c[c.size() * 3 / 4] ^= 0x55; }},
        {"a byte changed near the end", [](std::string& c) { c[c.size() - 8] ^= 0x55; }},
        {"cut at 2/3", [](std::string& c) { c.resize(c.size() * 2 / 3); }},
    };
    static const std::regex failed(R"(^  (.*?)  failed )", std::regex::multiline);
    int damagedSeen = 0;
    for (const auto& entry : fs::directory_iterator(cabs_)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(".cab"))
            continue;
        for (const auto& [what, damage] : damages) {
            SCOPED_TRACE(name + ", " + what);
            const std::string folder =
                tmp.file(name + "-" + std::to_string(&damage - &damages[0].second));
            fs::create_directories(folder);
            // The other parts of a spanned set beside it, as they are.
            for (const auto& part : fs::directory_iterator(cabs_))
                if (name.starts_with("split-") &&
                    part.path().filename().string().starts_with("split-"))
                    fs::copy_file(part.path(), folder + "/" + part.path().filename().string());
            std::string bytes = readFile(entry.path().string());
            damage(bytes);
            fs::remove(folder + "/" + name);
            writeFile(folder + "/" + name, bytes);
            const ToolRun theirs = runProgram("cabextract", {"-t", name}, folder);
            const ToolRun ours = run({"-q", "T", folder + "/" + name});
            EXPECT_EQ(ours.status != 0, theirs.status != 0) << ours.err << "\n" << theirs.out;
            damagedSeen += theirs.status != 0;
            std::smatch first; // cabextract's first failed file
            if (std::regex_search(theirs.out, first, failed) && first[1].length() &&
                ours.status == 1) {
                std::string mine = ours.err.substr(8, ours.err.find(": ", 8) - 8);
                std::replace(mine.begin(), mine.end(), '\\', '/');
                EXPECT_EQ(mine, asUtf8(first[1].str())) << ours.err;
            }
        }
    }
    EXPECT_GT(damagedSeen, 10); // the damage took: the comparison is not all "intact"
}

TEST_F(ToolBesideCabextract, LzxThroughTheOwnDecoderAndDamagedAsLibmspackSaysIt) {
    std::uint64_t frames = 0;
    env.lzxFrames = &frames;
    for (std::string name : {"test_read_format_cab_lzx_e8", "mszip_lzx_qtm"}) {
        frames = 0;
        ToolRun r = run({"-p", "X", cabs_ + name + ".cab", out(name) + "/"});
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_GT(frames, 0u) << name; // decoded by the tool's own decoder
        expectSameFiles(cabs_ + name + ".cab", out(name));
    }
    // Damaged copies of the E8 cabinet (its one data block at 67, the data at 75): the tool says
    // what libmspack's decoder makes it say, and writes what it writes.
    const std::string good = readFile(cabs_ + "test_read_format_cab_lzx_e8.cab");
    struct Damage {
        std::string name;
        size_t at, keep;
        unsigned char flip;
        bool clearChecksum;
        int status;
    };
    for (const Damage& d :
         {Damage{"checksum", 67, 125, 0x01, false, 1}, Damage{"bad-code", 76, 125, 0x80, true, 1},
          Damage{"other-bytes", 75, 125, 0x40, true, 0}, Damage{"cut", 0, 110, 0x00, false, 1}}) {
        std::string bytes = good.substr(0, d.keep);
        bytes[d.at] = static_cast<char>(bytes[d.at] ^ d.flip);
        if (d.clearChecksum)
            std::fill_n(bytes.begin() + 67, 4, '\0');
        writeFile(tmp.file(d.name + ".cab"), bytes);
        ToolRun own = run({"-p", "X", tmp.file(d.name + ".cab"), out(d.name + "-own") + "/"});
        env.ownLzx = false;
        ToolRun theirs = run({"-p", "X", tmp.file(d.name + ".cab"), out(d.name + "-lib") + "/"});
        env.ownLzx = true;
        EXPECT_EQ(own.status, d.status) << d.name;
        EXPECT_EQ(theirs.status, d.status) << d.name;
        EXPECT_EQ(own.err, theirs.err) << d.name;
        EXPECT_EQ(treeOf(out(d.name + "-own")), treeOf(out(d.name + "-lib"))) << d.name;
        if (own.status == 0) {
            EXPECT_EQ(readFile(out(d.name + "-own/e8.bin")), readFile(out(d.name + "-lib/e8.bin")));
        }
    }
}

// LZX folders decoded ahead on worker threads give the files and the words of the decoder that
// takes a folder at a time, and of libmspack, also when one of a folder's blocks is damaged.
TEST_F(ToolTest, LzxFoldersDecodedAheadAsOneAtATime) {
    for (unsigned i = 0; i < 24; ++i) // whole frames, so that files end where frames do
        writeFile(tmp.file("in/f" + std::to_string(i)), sampleData((1 + i % 3) << 15, i, i % 2));
    // and files held in several of the memory chunks a folder decoded ahead is kept in
    writeFile(tmp.file("in/g0"), sampleData(5 << 19, 40, true));
    writeFile(tmp.file("in/g1"), sampleData(3 << 19, 41));
    const std::string cab = tmp.file("lzx.cab");
    env.newFolderBytes = 150000;
    env.lzxAheadFromBytes = 0;
    ASSERT_EQ(run({"-m", "LZX:16", "-q", "N", cab, tmp.file("in")}).status, 0);
    // g1's record made a copy of g0's (hostile, but read alike by all): written after g0, it
    // needs the chunks g0 has been written from.
    std::string good = readFile(cab);
    std::map<std::string, size_t> record;
    const auto* bytes = reinterpret_cast<const unsigned char*>(good.data());
    for (size_t at = bytes[16] | bytes[17] << 8 | bytes[18] << 16; at + 16 < good.size();
         at = good.find('\0', at + 16) + 1)
        record[good.c_str() + at + 16] = at;
    ASSERT_TRUE(record.count("g0") && record.count("g1"));
    good.replace(record["g1"], 10, good, record["g0"], 10);
    const auto layout = fm::tool::ReadCabinetLayout(cab);
    ASSERT_TRUE(layout && layout->folders.size() >= 4);
    std::vector<std::string> cabs = {good};
    size_t at = layout->folders[2].firstBlock;
    for (int block = 0; block < 5; ++block) { // one damaged copy per block of the third folder
        cabs.push_back(good);
        cabs.back()[at + 8 + 40] ^= 0x20;
        at += 8 + (std::uint8_t(good[at + 4]) | std::uint8_t(good[at + 5]) << 8);
    }
    struct Route {
        unsigned workers;
        bool own;
    };
    for (size_t c = 0; c < cabs.size(); ++c) {
        writeFile(cab, cabs[c]);
        for (const char* command : {"T", "X"}) {
            std::vector<std::string> results;
            for (const Route route : {Route{2, true}, Route{0, true}, Route{0, false}}) {
                env.lzxWorkers = route.workers;
                env.ownLzx = route.own;
                const std::string dest =
                    out(std::to_string(c) + command + std::to_string(results.size())) + "/";
                fs::create_directories(dest);
                const ToolRun r =
                    run(command[0] == 'X' ? Strings{"X", cab, dest} : Strings{"T", cab});
                std::string files;
                for (const auto& e : fs::directory_iterator(dest))
                    files += e.path().filename().string() + readFile(e.path()) + "|";
                results.push_back(std::to_string(r.status) + r.out + r.err + files);
            }
            EXPECT_EQ(results[0], results[1]) << command << " damaged block " << c;
            EXPECT_EQ(results[0], results[2]) << command << " damaged block " << c;
        }
    }
}
