// Func069 and Func123: refused arguments, files that cannot be sent, the
// progress callback stopping a transfer, sizes past 2 GiB.
#include "harness.h"
#include "support.h"

#include <filesystem>
#include <fstream>

using namespace blocktest;
using testsupport::TempDir;
using testsupport::readFile;

namespace {

TEST(BlockExports, RefuseBadPortsProtocolsAndNamesBeforeSendingAnything) {
    Pair pair(85, 86);
    TempDir dir;
    writeFile(dir.file("f"), "abc");
    const std::string f2 = dir.file("f");
    for (LONG port : {-1, 255, 200}) {
        EXPECT_EQ(Func069(port, nullptr, 1, nullptr, f2.c_str(), 0), VORLEX_SEND_BAD_PORT);
        EXPECT_EQ(Func123(port, nullptr, 1, dir.path().c_str(), "x"), VORLEX_RECEIVE_BAD_PORT);
    }
    EXPECT_EQ(Func069(pair.a(), nullptr, 6, nullptr, f2.c_str(), 0), VORLEX_SEND_BAD_PROTOCOL);
    EXPECT_EQ(Func069(pair.a(), nullptr, 6, nullptr, nullptr, -1), 0);
    EXPECT_EQ(Func123(pair.a(), nullptr, 6, dir.path().c_str(), "x"), VORLEX_RECEIVE_BAD_PROTOCOL);
    for (const char *name : {static_cast<const char *>(nullptr), "", " x"})
        for (LONG protocol : {VORLEX_PROTOCOL_ASCII, VORLEX_PROTOCOL_XMODEM})
            EXPECT_EQ(Func123(pair.a(), nullptr, protocol, dir.path().c_str(), name), VORLEX_RECEIVE_NO_NAME);
    // A further file needs the transfer that phase 0 starts.
    EXPECT_EQ(Func069(pair.a(), nullptr, 4, nullptr, f2.c_str(), 1), VORLEX_SEND_NO_BATCH);
    EXPECT_EQ(Func062(pair.b()), 0) << "nothing may reach the line";
}

TEST(BlockExports, WithTheProgressWindowTheSenderRunsOnItsWorkerAndCleansUp) {
    Pair pair(87, 88);
    TempDir dir;
    const std::string data(3000, 'x');
    writeFile(dir.file("f"), data);
    Func090(pair.a(), 0, 1, 0, 0, 60);
    Job tx;
    upload(tx, pair.a(), 1, dir.file("f"));
    HWND dialog = nullptr;
    for (int i = 0; i < 400 && !dialog; i++) {
        dialog = FindWindowA("ZmodemTransfer", "Xmodem Send");
        if (!dialog) Sleep(10);
    }
    EXPECT_TRUE(dialog) << "no progress window";
    EXPECT_EQ(Func123(pair.b(), nullptr, 1, dir.path().c_str(), "g"), 0);
    tx.join();
    EXPECT_EQ(tx.result, 0);
    EXPECT_EQ(tx.end, 0);
    EXPECT_TRUE(sameBytes(readFile(dir.file("g")), padded(data)));
    EXPECT_FALSE(dialog && IsWindow(dialog)) << "the window outlived its transfer";
    // The record is gone: the next transfer on the port starts afresh.
    Func090(pair.a(), 1, 1, 0, 0, 60);
    Job again;
    upload(again, pair.a(), 1, dir.file("f"));
    EXPECT_EQ(Func123(pair.b(), nullptr, 1, dir.path().c_str(), "h"), 0);
    again.join();
    EXPECT_EQ(again.result, 0);
}

TEST(BlockExports, FilesThatCannotBeSent) {
    Pair pair(89, 90);
    TempDir dir;
    Recorder rec(pair.a());
    std::filesystem::create_directory(dir.file("sub"));
    for (const char *name : {"missing", "sub"}) {
        EXPECT_EQ(Func069(pair.a(), nullptr, 1, dir.path().c_str(), name, 0), VORLEX_TRANSFER_CANNOT_OPEN) << name;
        EXPECT_EQ(Func069(pair.a(), nullptr, 1, nullptr, nullptr, -1), 0);
    }
    // 4 GiB do not fit the 32-bit sizes: refused before anything is sent.
    std::ofstream(dir.file("4g")).close();
    std::filesystem::resize_file(dir.file("4g"), 4294967296ull);
    EXPECT_EQ(Func069(pair.a(), nullptr, 4, nullptr, dir.file("4g").c_str(), 0), VORLEX_TRANSFER_CANNOT_OPEN);
    EXPECT_TRUE(rec.saw(kCouldNotOpen));
    EXPECT_FALSE(rec.saw(kSendingFile));
    EXPECT_EQ(Func062(pair.b()), 0);
    // The Ymodem receiver still waits: ending the batch gives it the empty
    // name block once it asks.
    LONG end = -1;
    std::thread closer([&] { end = Func069(pair.a(), nullptr, 4, nullptr, nullptr, -1); });
    EXPECT_EQ(ask(pair.b(), "C", 133), makeBlock(0, std::string(128, '\0'), true));
    sendBytes(pair.b(), "\x06");
    closer.join();
    EXPECT_EQ(end, 0);
}

TEST(BlockExports, NameBlockOfAFileAbove2GiB) {
    Pair pair(91, 92);
    TempDir dir;
    std::ofstream(dir.file("3g")).close();
    std::filesystem::resize_file(dir.file("3g"), 3221225472ull);
    Recorder rec(pair.a());
    Job tx;
    upload(tx, pair.a(), 4, dir.file("3g"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    std::string zero = ask(pair.b(), "C", 133);
    EXPECT_EQ(zero.substr(3, 14), std::string("3g\0" "3221225472 ", 14));
    EXPECT_EQ(ask(pair.b(), "\x06" "C", 1029), makeBlock(1, std::string(1024, '\0'), true));
    sendBytes(pair.b(), "\x18\x18");
    tx.join();
    EXPECT_EQ(tx.result, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_EQ(rec.calls().front().fileSize, 3221225472u);
}

TEST(BlockExports, CallbackStopsAtTheAnnouncementBeforeAnyByte) {
    Pair pair(93, 94);
    TempDir dir;
    writeFile(dir.file("f"), randomBytes(5000, 1));
    Recorder rec(pair.a());
    rec.stopAtAnnounce = true;
    EXPECT_EQ(Func069(pair.a(), nullptr, 4, nullptr, dir.file("f").c_str(), 0), VORLEX_TRANSFER_CANCELLED);
    EXPECT_EQ(Func069(pair.a(), nullptr, 4, nullptr, nullptr, -1), 0);
    EXPECT_EQ(readQuiet(pair.b(), 200), "");
    ASSERT_EQ(rec.calls().size(), 1u);
    EXPECT_EQ(rec.calls()[0].name, dir.file("f"));
    EXPECT_EQ(rec.calls()[0].fileSize, 5000u);
}

struct Both {
    LONG send = -1, receive = -1;
};

Both transfer(Pair &pair, Recorder &sender, LONG protocol, const std::string &file, const std::string &dir) {
    Both r;
    Job tx;
    upload(tx, pair.a(), protocol, file);
    sender.waitFor(kWaitingForReceiver, 5000);
    r.receive = Func123(pair.b(), nullptr, protocol, dir.c_str(), protocol < 4 ? "got" : nullptr);
    tx.join();
    r.send = tx.result;
    return r;
}

TEST(BlockExports, CallbacksStopTransfersPartWay) {
    for (LONG protocol : {VORLEX_PROTOCOL_YMODEM, VORLEX_PROTOCOL_XMODEM_1K_G}) {
        SCOPED_TRACE(protocol);
        Pair pair(95, 96);
        TempDir src, dst;
        std::string data = randomBytes(300 * 1024, 2);
        writeFile(src.file("f"), data);
        Recorder sender(pair.a());
        sender.stopAtBytes = 20 * 1024;
        Both r = transfer(pair, sender, protocol, src.file("f"), dst.path());
        EXPECT_EQ(r.send, VORLEX_TRANSFER_CANCELLED);
        EXPECT_EQ(r.receive, VORLEX_TRANSFER_CANCELLED);
        // Once the callback said stop, it is not called with the reason.
        EXPECT_FALSE(sender.saw(kSenderCanceled));
        std::string got = readFile(dst.file(protocol < 4 ? "got" : "f"));
        EXPECT_GE(got.size(), 20u * 1024);
        EXPECT_LT(got.size(), data.size());
        EXPECT_TRUE(sameBytes(got, data.substr(0, got.size())));
    }
    Pair pair(97, 98);
    TempDir src, dst;
    writeFile(src.file("f"), randomBytes(300 * 1024, 3));
    Recorder sender(pair.a()), receiver(pair.b());
    receiver.stopAtBytes = 10 * 1024;
    Both r = transfer(pair, sender, VORLEX_PROTOCOL_XMODEM_1K, src.file("f"), dst.path());
    EXPECT_EQ(r.receive, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_EQ(r.send, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_TRUE(sender.saw(kReceiverCanceled));
}

TEST(BlockExports, ReceiverThatCannotOpenItsFileCancelsTheSender) {
    Pair pair(99, 100);
    TempDir src;
    writeFile(src.file("f"), randomBytes(3000, 4));
    Recorder sender(pair.a()), receiver(pair.b());
    Both r = transfer(pair, sender, VORLEX_PROTOCOL_XMODEM, src.file("f"), src.file("no/such/dir"));
    EXPECT_EQ(r.receive, VORLEX_TRANSFER_CANNOT_OPEN);
    EXPECT_EQ(r.send, VORLEX_TRANSFER_REMOTE_CANCEL);
    EXPECT_TRUE(receiver.saw(kCouldNotOpen));
}

TEST(BlockExports, SenderSeesTheCarrierGo) {
    Pair pair(101, 102);
    TempDir src;
    writeFile(src.file("f"), randomBytes(3000, 5));
    Recorder rec(pair.a());
    Job tx;
    upload(tx, pair.a(), 1, src.file("f"));
    ASSERT_TRUE(rec.waitFor(kWaitingForReceiver, 5000));
    EXPECT_EQ(ask(pair.b(), "C", 133).size(), 133u);
    pair.closeB();
    tx.join();
    EXPECT_EQ(tx.result, VORLEX_TRANSFER_CARRIER_LOST);
    EXPECT_TRUE(rec.saw(kLostCarrier));
}

} // namespace
