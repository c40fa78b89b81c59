#include "RequestParser.h"
#include "AnalyserFrames.h"

#include <gtest/gtest.h>

using sim::Request;
using sim::RequestKind;
using sim::RequestParser;

namespace {

std::string bytes(const QByteArray& a) {
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

Request command(const char* c, char parameter = 0) {
    return Request{RequestKind::Command, c, parameter};
}
const Request kStart{RequestKind::Start, {}, 0};
const Request kReset{RequestKind::Reset, {}, 0};

// Every frame the station sends, with the request it must become.
std::vector<std::pair<std::string, Request>> stationFrames() {
    return {
        {bytes(analyser::frameRG()), command("RG")},
        {bytes(analyser::frameRM()), command("RM")},
        {bytes(analyser::frameIN()), command("IN")},
        {bytes(analyser::frameRS()), command("RS")},
        {bytes(analyser::frameOUBlank()), command("OU", ' ')},
        {bytes(analyser::frameOUA()), command("OU", 'A')},
        {bytes(analyser::frameOUP()), command("OU", 'P')},
        {bytes(analyser::frameZP()), command("ZP")},
        {bytes(analyser::frameZE()), command("ZE")},
        {bytes(analyser::frameStart()), kStart},
        {bytes(analyser::frameReset()), kReset},
    };
}

} // namespace

TEST(RequestParser, RecognisesEveryFrameTheStationSendsWholeAndByteByByte) {
    for (const auto& [frame, expected] : stationFrames()) {
        RequestParser whole;
        EXPECT_EQ(whole.feed(frame), std::vector<Request>{expected}) << frame;

        RequestParser trickle;
        std::vector<Request> got;
        for (char c : frame) {
            auto part = trickle.feed(std::string_view(&c, 1));
            got.insert(got.end(), part.begin(), part.end());
        }
        EXPECT_EQ(got, std::vector<Request>{expected}) << frame;
        EXPECT_EQ(trickle.skippedBytes(), 0u);
    }
}

TEST(RequestParser, TheRgRequestBytesGiveOneRgRequest) {
    RequestParser p;
    EXPECT_EQ(p.feed(std::string("\x02\x31\x52\x47\x43\x41\x03", 7)), std::vector<Request>{command("RG")});
}

TEST(RequestParser, SeveralFramesInOneBlockWithGarbageComeOutInOrder) {
    std::string block = "xx\x03";
    std::vector<Request> expected;
    for (const auto& [frame, request] : stationFrames()) {
        block += frame + "\xFF?";
        expected.push_back(request);
    }
    RequestParser p;
    EXPECT_EQ(p.feed(block), expected);
    EXPECT_EQ(p.skippedBytes(), 3u + 2u * expected.size());
    EXPECT_EQ(p.rejectedFrames(), 0u);
}

TEST(RequestParser, ZeroBytesOfTheResetFrameSurviveASplitAnywhere) {
    const std::string stream = bytes(analyser::frameReset()) + bytes(analyser::frameRG()) +
                               bytes(analyser::frameStart()) + bytes(analyser::frameReset());
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        RequestParser p;
        auto got = p.feed(std::string_view(stream).substr(0, cut));
        auto rest = p.feed(std::string_view(stream).substr(cut));
        got.insert(got.end(), rest.begin(), rest.end());
        EXPECT_EQ(got, (std::vector<Request>{kReset, command("RG"), kStart, kReset})) << "cut at " << cut;
    }
}

TEST(RequestParser, BadFramesAreDroppedAndTheNextGoodOneStillParses) {
    RequestParser p;
    // wrong checksum, wrong address, missing checksum digit, lower-case command
    const std::string bad = std::string("\x02"
                                        "1RGCB\x03",
                                        7) +
                            std::string("\x02"
                                        "2RGCB\x03",
                                        7) +
                            std::string("\x02"
                                        "1RGC\x03",
                                        6) +
                            std::string("\x02"
                                        "1rgEA\x03",
                                        7);
    EXPECT_TRUE(p.feed(bad).empty());
    EXPECT_EQ(p.rejectedFrames(), 4u);
    EXPECT_EQ(p.feed(bytes(analyser::frameIN())), std::vector<Request>{command("IN")});
}

TEST(RequestParser, AnUnfinishedFrameIsAbandonedForANewStartOrWhenItGrowsTooLong) {
    RequestParser p;
    // A request cut off mid-way, then a whole one: the new STX restarts the frame.
    EXPECT_EQ(p.feed(std::string("\x02"
                                 "1RG",
                                 4) +
                     bytes(analyser::frameRS())),
              std::vector<Request>{command("RS")});
    // A STX followed by endless garbage is given up, and a stray 'd' is no 4-byte frame.
    EXPECT_TRUE(p.feed(std::string("\x02") + std::string(40, 'z') + "d\x01\x05").empty());
    EXPECT_EQ(p.feed(bytes(analyser::frameRM())), std::vector<Request>{command("RM")});
}
