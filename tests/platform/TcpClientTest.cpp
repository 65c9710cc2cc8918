// The socket transport against a scripted peer on loopback.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/TcpClient.h"
#include "support/RfbBytes.h"
#include "support/ScriptedServer.h"

namespace zarn::test {
namespace {

// A read limit on silence alone: every byte that arrives restarts it.
Deadline Silence(int milliseconds)
{
    return Deadline::Progress(std::chrono::milliseconds(milliseconds), 1, "the test's read limit");
}

struct Connection {
    ScriptedServer server;
    TcpClient client;
    int disconnects = 0;

    Connection()
    {
        client.OnDisconnected = [this] { ++disconnects; };
        client.SetHost("127.0.0.1");
        client.SetPort(server.Port());
    }

    void Open()
    {
        server.Start();
        client.Connect();
        client.SetReadDeadline(Silence(3000)); // a broken test fails instead of hanging
    }

    // Polls the connected test until the peer's bytes (or its close) have arrived.
    bool PullUntil(bool wantBuffered)
    {
        for (int i = 0; i < 300; ++i) {
            const bool open = client.Connected();
            if (wantBuffered ? !client.ReceiveBufferEmpty() : !open)
                return true;
            usleep(10000);
        }
        return false;
    }
};

TEST(TcpClientRead, ExactReadsAndLinesComeOutOfOneStream)
{
    Connection c;
    c.server.Send("RFB 003.008\r\nsecond line\n")
        .Send(ByteWriter().U16(0x1234).U32(0xDEADBEEF).U32(0x01020304))
        .Send("x\n");
    c.Open();
    EXPECT_EQ(c.client.ReadLine(16384), "RFB 003.008");
    EXPECT_EQ(c.client.ReadLine(16384), "second line");
    EXPECT_EQ(c.client.ReadU16(), 0x1234);
    EXPECT_EQ(c.client.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(c.client.ReadU32LE(), 0x04030201u);
    EXPECT_EQ(c.client.ReadText(0), "");
    EXPECT_EQ(c.client.ReadText(2), "x\n");
    EXPECT_TRUE(c.client.ReceiveBufferEmpty());
}

TEST(TcpClientRead, ReadsSpanningManyReceiveChunksArriveIntact)
{
    std::vector<uint8_t> big(3 * TcpClient::kReceiveChunk + 123);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 7 + i / 256);
    Connection c;
    c.server.Send(big);
    c.Open();
    std::vector<uint8_t> got(big.size());
    c.client.ReadExact(got.data(), 10);
    c.client.ReadExact(got.data() + 10, got.size() - 10);
    EXPECT_EQ(got, big);
}

TEST(TcpClientRead, LineLimitCountsTheBytesBeforeTheLineFeed)
{
    struct Case {
        size_t length;
        bool fits;
    };
    for (const Case t :
        { Case { 100, true }, Case { 101, false }, Case { 0, true }, Case { 40000, false } }) {
        SCOPED_TRACE(t.length);
        Connection c;
        c.server.Send(std::string(t.length, 'a') + "\n");
        c.Open();
        if (t.fits)
            EXPECT_EQ(c.client.ReadLine(100), std::string(t.length, 'a'));
        else
            EXPECT_THROW(c.client.ReadLine(100), TransportError);
    }
}

TEST(TcpClientRead, SilentPeerTimesOutButTheConnectionStaysOpen)
{
    Connection c;
    c.server.Send("ab").Pause(10000);
    c.Open();
    c.client.SetReadDeadline(Silence(200));
    uint8_t buf[3];
    EXPECT_THROW(c.client.ReadExact(buf, 3), TransportError);
    EXPECT_THROW(c.client.ReadLine(100), TransportError);
    EXPECT_TRUE(c.client.Connected());
    EXPECT_EQ(c.disconnects, 0);
    // The two bytes that did arrive were not lost to the time-out.
    EXPECT_EQ(c.client.ReadText(2), "ab");
}

// A large block waits for many bytes per wake-up; that must neither turn a slow but steady
// server into a time-out nor make the reads after the block wait for more than they need.
TEST(TcpClientRead, LargeBlockTrickledSlowerThanTheTimeoutStillArrives)
{
    constexpr size_t kPiece = 16 * 1024;
    std::vector<uint8_t> big(8 * kPiece);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8_t(i * 13 + i / 512);
    Connection c;
    for (size_t at = 0; at < big.size(); at += kPiece)
        c.server.Send(std::vector<uint8_t>(big.begin() + ptrdiff_t(at), big.begin() + ptrdiff_t(at + kPiece)))
            .Pause(150);
    c.server.Pause(300).Send("z").Pause(500).Send(std::vector<uint8_t>(kPiece)).Pause(10000);
    c.Open();
    c.client.SetReadDeadline(Silence(600)); // the whole block takes about 1.2 s

    std::vector<uint8_t> got(big.size());
    c.client.ReadExact(got.data(), got.size());
    EXPECT_EQ(got, big);
    EXPECT_EQ(c.client.ReadText(1), "z");
    // A large read that stops short of its end still times out once the server goes quiet.
    std::vector<uint8_t> tooMuch(4 * kPiece);
    EXPECT_THROW(c.client.ReadExact(tooMuch.data(), tooMuch.size()), TransportError);
    EXPECT_TRUE(c.client.Connected());
}

TEST(TcpClientRead, PeerCloseFailsTheReadAndNotifiesOnce)
{
    Connection c;
    c.server.Send("abc").Close();
    c.Open();
    uint8_t buf[5];
    EXPECT_THROW(c.client.ReadExact(buf, 5), TransportError);
    EXPECT_EQ(c.disconnects, 1);
    EXPECT_FALSE(c.client.Connected());
    // Bytes that arrived before the close can still be taken.
    EXPECT_EQ(c.client.ReadText(3), "abc");
    EXPECT_THROW(c.client.ReadExact(buf, 1), TransportError);
    c.client.Disconnect();
    EXPECT_EQ(c.disconnects, 1);
}

TEST(TcpClientConnected, PullsWaitingBytesWithoutReading)
{
    Connection c;
    c.server.Send("12345");
    c.Open();
    EXPECT_TRUE(c.client.ReceiveBufferEmpty());
    ASSERT_TRUE(c.PullUntil(true));
    EXPECT_TRUE(c.client.Connected());
    EXPECT_EQ(c.client.ReadText(5), "12345");
    EXPECT_TRUE(c.client.ReceiveBufferEmpty());
    EXPECT_TRUE(c.client.Connected()); // nothing waiting: no wait, still open
}

TEST(TcpClientConnected, NoticesAnOrderlyClose)
{
    Connection c;
    c.server.Close();
    c.Open();
    ASSERT_TRUE(c.PullUntil(false));
    EXPECT_EQ(c.disconnects, 1);
    EXPECT_TRUE(c.client.HasSocket());
    c.client.ReleaseSocket();
    EXPECT_FALSE(c.client.HasSocket());
    EXPECT_FALSE(c.client.Connected());
}

TEST(TcpClientLifecycle, DisconnectNotifiesOnlyWhenSomethingWasOpen)
{
    Connection c;
    c.client.Disconnect();
    EXPECT_EQ(c.disconnects, 0);
    EXPECT_FALSE(c.client.HasSocket());
    c.Open();
    EXPECT_TRUE(c.client.HasSocket());
    EXPECT_TRUE(c.client.Connected());
    c.client.Disconnect();
    c.client.Disconnect();
    EXPECT_EQ(c.disconnects, 1);
    EXPECT_FALSE(c.client.Connected());
    EXPECT_TRUE(c.server.WaitForClientClosed());
    EXPECT_THROW(c.client.Write(std::string("x")), TransportError);
}

TEST(TcpClientLifecycle, FreshConnectionStartsWithoutAReadLimitAndAnEmptyBuffer)
{
    ScriptedServer first, second;
    first.Send("left over");
    second.Send("new");
    first.Start();
    second.Start();
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(first.Port());
    client.Connect();
    client.ReadText(2);
    client.SetPort(second.Port());
    client.Connect();
    client.SetReadDeadline(Silence(3000));
    EXPECT_EQ(client.ReadText(3), "new");
}

TEST(TcpClientWrite, LargeWritesArriveCompleteAndInOrder)
{
    std::vector<uint8_t> payload(4 << 20);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i ^ (i >> 11));
    Connection c;
    c.Open();
    c.client.Write(payload);
    c.client.Write(std::string("end"));
    ASSERT_TRUE(c.server.WaitForReceived(payload.size() + 3, 20000));
    auto received = c.server.Received();
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), received.begin()));
    EXPECT_EQ(std::string(received.end() - 3, received.end()), "end");
}

TEST(TcpClientConnect, BadTargetsThrow)
{
    int closedPort;
    {
        ScriptedServer gone;
        closedPort = gone.Port();
    }
    struct Case {
        const char* host;
        int port;
    };
    for (const Case t : { Case { "", 5900 }, Case { "127.0.0.1", 0 }, Case { "127.0.0.1", closedPort } }) {
        SCOPED_TRACE(std::string(t.host) + ":" + std::to_string(t.port));
        TcpClient client;
        client.SetHost(t.host);
        client.SetPort(t.port);
        EXPECT_THROW(client.Connect(), TransportError);
        EXPECT_FALSE(client.HasSocket());
        EXPECT_FALSE(client.Connected());
    }
}

TEST(TcpClientConnect, ReachesAnIpv6Listener)
{
    const int listener = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address {};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 1) != 0) {
        if (listener >= 0)
            ::close(listener);
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    TcpClient client;
    client.SetHost("::1");
    client.SetPort(ntohs(address.sin6_port));
    EXPECT_NO_THROW(client.Connect());
    const int peer = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    ASSERT_EQ(::send(peer, "v6\n", 3, 0), 3);
    client.SetReadDeadline(Silence(3000));
    EXPECT_EQ(client.ReadLine(10), "v6");
    ::close(peer);
    ::close(listener);
}

TEST(TcpClientConnect, ConnectThatNeverCompletesIsCutShort)
{
    // A listener with a full backlog that never accepts drops further SYNs: the connect
    // would otherwise hang for the kernel's retry period.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    usleep(100000);
    TcpClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(ntohs(address.sin_port));
    client.SetConnectTimeout(300);
    try {
        client.Connect();
        ADD_FAILURE() << "connect to a full backlog succeeded";
    } catch (const TransportError& e) {
        EXPECT_NE(std::string(e.what()).find("timed out"), std::string::npos) << e.what();
    }
    for (int fd : fillers)
        ::close(fd);
    ::close(listener);
}

} // namespace
} // namespace zarn::test
