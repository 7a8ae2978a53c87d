// Zmodem against lrzsz's sz and rz, both directions, over pseudo-terminals.
#include "helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace testsupport;
using namespace ztest;

namespace ztest {
Watch *g_watch = nullptr;
}

namespace {

constexpr int kCom = 21;

class ZmodemLrzsz : public ::testing::Test {
protected:
    void SetUp() override { g_watch = &watch; }
    void TearDown() override { g_watch = nullptr; }

    // Files of the size classes that matter for subpackets and escaping.
    std::vector<std::string> makeSizeClasses(const std::string &dir) {
        std::vector<std::string> names;
        const size_t sizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 8192};
        unsigned seed = 1;
        for (size_t n : sizes) {
            std::string name = "size" + std::to_string(n) + ".bin";
            writeFile(dir + "/" + name, randomBytes(n, seed++));
            names.push_back(name);
        }
        writeFile(dir + "/every byte.bin", everyByte());
        names.push_back("every byte.bin");
        return names;
    }

    void expectSameFiles(const std::string &from, const std::string &to, const std::vector<std::string> &names) {
        for (const auto &n : names) {
            ASSERT_TRUE(fileExists(to + "/" + n)) << n;
            EXPECT_TRUE(readFile(from + "/" + n) == readFile(to + "/" + n)) << n;
        }
    }

    std::vector<std::string> paths(const std::string &dir, const std::vector<std::string> &names) {
        std::vector<std::string> out;
        for (const auto &n : names) out.push_back(dir + "/" + n);
        return out;
    }

    Watch watch;
    TempDir src, dst;
};

TEST_F(ZmodemLrzsz, BatchOfSizeClassesToRz) {
    auto names = makeSizeClasses(src.path());
    PeerProgram rz(kCom, "rz -y -q", dst.path());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.send(paths(src.path(), names)));
    EXPECT_EQ(0, rz.wait(10000)) << rz.log();
    expectSameFiles(src.path(), dst.path(), names);
    EXPECT_EQ(names.size(), watch.files.load());
}

TEST_F(ZmodemLrzsz, BatchOfSizeClassesFromSzCrc32) {
    auto names = makeSizeClasses(src.path());
    std::string cmd = "sz -q";
    for (const auto &n : names) cmd += " " + shellQuote(n);
    PeerProgram sz(kCom, cmd, src.path());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.receive(dst.path()));
    EXPECT_EQ(0, sz.wait(10000)) << sz.log();
    expectSameFiles(src.path(), dst.path(), names);
}

TEST_F(ZmodemLrzsz, FromSzCrc16AndEscapingEverything) {
    auto names = makeSizeClasses(src.path());
    for (const char *options : {"-o", "-e", "-o -e"}) {
        TempDir out;
        std::string cmd = std::string("sz -q ") + options;
        for (const auto &n : names) cmd += " " + shellQuote(n);
        PeerProgram sz(kCom, cmd, src.path());
        LibPort lib(kCom);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.receive(out.path())) << options;
        EXPECT_EQ(0, sz.wait(10000)) << options << sz.log();
        expectSameFiles(src.path(), out.path(), names);
    }
}

TEST_F(ZmodemLrzsz, PatternUploadToRz) {
    writeFile(src.file("one.dat"), randomBytes(3000, 21));
    writeFile(src.file("two.dat"), randomBytes(70000, 22));
    writeFile(src.file("skip.txt"), "not matched");
    std::filesystem::create_directories(src.file("dir.dat"));
    PeerProgram rz(kCom, "rz -y -q", dst.path());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, Func064(lib.port(), nullptr, src.path().c_str(), "*.dat", 6));
    EXPECT_EQ(0, rz.wait(10000)) << rz.log();
    expectSameFiles(src.path(), dst.path(), {"one.dat", "two.dat"});
    EXPECT_FALSE(fileExists(dst.file("skip.txt")));
}

TEST_F(ZmodemLrzsz, EscapingReceiverGetsEverything) {
    // rz -e asks for control characters escaped; what we send must still
    // come through intact.
    writeFile(src.file("e.bin"), everyByte() + randomBytes(5000, 9));
    PeerProgram rz(kCom, "rz -y -q -e", dst.path());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.send({src.file("e.bin")}));
    EXPECT_EQ(0, rz.wait(10000)) << rz.log();
    EXPECT_TRUE(readFile(src.file("e.bin")) == readFile(dst.file("e.bin")));
}

TEST_F(ZmodemLrzsz, TenMegabytesBothWays) {
    const std::string data = randomBytes(10 * 1000 * 1000, 42);
    writeFile(src.file("big.bin"), data);
    {
        PeerProgram rz(kCom, "rz -y -q", dst.path());
        LibPort lib(kCom);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.send({src.file("big.bin")}));
        EXPECT_EQ(0, rz.wait(20000)) << rz.log();
        EXPECT_TRUE(readFile(dst.file("big.bin")) == data);
        EXPECT_EQ(data.size(), watch.maxBytes.load());
    }
    {
        TempDir out;
        PeerProgram sz(kCom, "sz -q big.bin", src.path());
        LibPort lib(kCom);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.receive(out.path()));
        EXPECT_EQ(0, sz.wait(20000)) << sz.log();
        EXPECT_TRUE(readFile(out.file("big.bin")) == data);
    }
}

TEST_F(ZmodemLrzsz, ResumeAPartialFileFromSz) {
    const std::string data = randomBytes(300000, 5);
    writeFile(src.file("r.bin"), data);
    writeFile(dst.file("r.bin"), data.substr(0, 120000));
    PeerProgram sz(kCom, "sz -q -r r.bin", src.path());
    LibPort lib(kCom, /*resume=*/true);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.receive(dst.path()));
    EXPECT_EQ(0, sz.wait(10000)) << sz.log();
    EXPECT_TRUE(readFile(dst.file("r.bin")) == data);
    // Progress starts where the partial file ended, not at 0.
    EXPECT_GE(watch.firstBytes.load(), 120000u);
}

TEST_F(ZmodemLrzsz, ResumeAPartialFileIntoRz) {
    const std::string data = randomBytes(300000, 6);
    writeFile(src.file("r.bin"), data);
    writeFile(dst.file("r.bin"), data.substr(0, 200000));
    PeerProgram rz(kCom, "rz -r -q", dst.path());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.send({src.file("r.bin")}));
    EXPECT_EQ(0, rz.wait(10000)) << rz.log();
    EXPECT_TRUE(readFile(dst.file("r.bin")) == data);
    // rz asks for a position a little before the end of what it has.
    EXPECT_GE(watch.firstBytes.load(), 150000u);
}

TEST_F(ZmodemLrzsz, WithoutResumeAnExistingFileIsReplaced) {
    const std::string data = randomBytes(5000, 8);
    writeFile(src.file("x.bin"), data);
    writeFile(dst.file("x.bin"), std::string(3000, 'z'));
    PeerProgram sz(kCom, "sz -q x.bin", src.path());
    LibPort lib(kCom, /*resume=*/false);
    ASSERT_TRUE(lib.ok());
    EXPECT_EQ(0, lib.receive(dst.path()));
    EXPECT_EQ(0, sz.wait(10000)) << sz.log();
    EXPECT_TRUE(data == readFile(dst.file("x.bin")));
}

// A slow line, so that there is time to stop part-way.
LineOptions slowLine() {
    LineOptions l;
    l.bytesPerSecond = 100000;
    return l;
}

TEST_F(ZmodemLrzsz, OurSenderStopsPartWay) {
    writeFile(src.file("c.bin"), randomBytes(2000000, 11));
    PeerProgram rz(kCom, "rz -y -q", dst.path(), slowLine());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    watch.stopAt = 200000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(3, lib.send({src.file("c.bin")}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_NE(0, rz.wait(15000)) << rz.log();
    EXPECT_LT(readFile(dst.file("c.bin")).size(), 2000000u);
}

TEST_F(ZmodemLrzsz, RzInterruptedPartWay) {
    writeFile(src.file("c.bin"), randomBytes(2000000, 12));
    PeerProgram rz(kCom, "rz -y -q", dst.path(), slowLine());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    std::thread killer([&] {
        while (watch.maxBytes < 200000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        rz.interrupt();
    });
    auto start = std::chrono::steady_clock::now();
    LONG r = lib.send({src.file("c.bin")});
    killer.join();
    // The receiver's cancel, or its line going away.
    EXPECT_TRUE(r == 2 || r == 5) << r;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
}

TEST_F(ZmodemLrzsz, OurReceiverStopsPartWay) {
    writeFile(src.file("c.bin"), randomBytes(2000000, 13));
    PeerProgram sz(kCom, "sz -q c.bin", src.path(), slowLine());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    watch.stopAt = 200000;
    EXPECT_EQ(2, lib.receive(dst.path()));
    EXPECT_NE(0, sz.wait(15000)) << sz.log();
    // A failed file is not left behind (no resume).
    EXPECT_FALSE(fileExists(dst.file("c.bin")));
}

TEST_F(ZmodemLrzsz, SzInterruptedPartWay) {
    writeFile(src.file("c.bin"), randomBytes(2000000, 14));
    PeerProgram sz(kCom, "sz -q c.bin", src.path(), slowLine());
    LibPort lib(kCom);
    ASSERT_TRUE(lib.ok());
    std::thread killer([&] {
        while (watch.maxBytes < 200000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        sz.interrupt();
    });
    auto start = std::chrono::steady_clock::now();
    LONG r = lib.receive(dst.path());
    killer.join();
    EXPECT_TRUE(r == 3 || r == 5) << r;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
    EXPECT_FALSE(fileExists(dst.file("c.bin")));
}

TEST_F(ZmodemLrzsz, NoisyLineBothWays) {
    // One bit in 100,000 flipped, both directions of the line.
    LineOptions noisy;
    noisy.bytesPerSecond = 115200;
    noisy.bitErrorInterval = 100000;
    noisy.seed = 3;
    const std::string data = randomBytes(200000, 15);
    writeFile(src.file("n.bin"), data);
    {
        PeerProgram rz(kCom, "rz -y -q", dst.path(), noisy);
        LibPort lib(kCom);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.send({src.file("n.bin")}));
        EXPECT_EQ(0, rz.wait(20000)) << rz.log();
        EXPECT_TRUE(readFile(dst.file("n.bin")) == data);
    }
    {
        TempDir out;
        noisy.seed = 4;
        PeerProgram sz(kCom, "sz -q n.bin", src.path(), noisy);
        LibPort lib(kCom);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.receive(out.path()));
        EXPECT_EQ(0, sz.wait(20000)) << sz.log();
        EXPECT_TRUE(readFile(out.file("n.bin")) == data);
    }
}

TEST_F(ZmodemLrzsz, FullPathNamesFromSz) {
    // sz -f sends the path; with fullPathNames the directories are made.
    std::string deep = src.path() + "/a/b";
    std::filesystem::create_directories(deep);
    writeFile(deep + "/f.bin", randomBytes(3000, 16));
    std::string target = dst.path() + "/a/b/f.bin";
    // The sent path is relative: it is received relative to the current
    // directory, so run there.
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dst.path());
    {
        PeerProgram sz(kCom, "sz -q -f a/b/f.bin", src.path());
        LibPort lib(kCom, false, /*fullPathNames=*/true);
        ASSERT_TRUE(lib.ok());
        EXPECT_EQ(0, lib.receive(dst.path() + "/other"));
        EXPECT_EQ(0, sz.wait(10000)) << sz.log();
    }
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(readFile(deep + "/f.bin") == readFile(target));
}

} // namespace
