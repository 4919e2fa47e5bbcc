// The daily update check against a real HTTP server on 127.0.0.1, run inside the test process:
// the once-a-day record, the version comparison, bad answers, one check per process, and an
// instance destroyed while the answer is still on its way.

#include "core/UpdateCheck.h"
#include "ProcessorFixture.h"

#include <cstdlib>
#include <mutex>

// JUCE's message loop step on Linux (used by its own dispatch loop, which plug-in code compiles
// out): the tests run queued message-thread tasks with it.
namespace juce
{
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
}

using namespace oxlade;
using oxlade::test::setEnv;

namespace
{

/** Runs queued message-thread tasks until none is left. */
void drainMessages()
{
    while (juce::dispatchNextMessageOnSystemQueue (true))
    {
    }
}

/** Runs queued tasks until done() holds; false if it never does within the limit (a hang guard,
    not a speed requirement). */
bool pumpUntil (const std::function<bool()>& done, int limitMs = 20000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) limitMs;
    while (!done())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        if (!juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
    }
    return true;
}

/** A one-resource HTTP/1.1 server on 127.0.0.1 and a free port, answering every GET with the
    configured status and body, one connection at a time. */
class LoopbackServer : private juce::Thread
{
public:
    struct Reply
    {
        int status = 200;
        std::string body;
        std::function<void()> beforeBody; // runs on the server thread once the headers and the first body byte went out
    };

    LoopbackServer()
        : juce::Thread ("loopback http")
    {
        if (listener.createListener (0, "127.0.0.1"))
        {
            port = listener.getBoundPort();
            startThread();
        }
    }

    ~LoopbackServer() override { stopThread (10000); }

    bool isRunning() const { return port > 0; }
    juce::String url() const { return "http://127.0.0.1:" + juce::String (port) + "/oxlade/version.json"; }
    int requests() const { return requestCount.load(); }
    juce::String lastRequestLine() const
    {
        std::lock_guard<std::mutex> l (lock);
        return requestLine;
    }

    void setReply (Reply r)
    {
        std::lock_guard<std::mutex> l (lock);
        reply = std::move (r);
    }

private:
    void run() override
    {
        while (!threadShouldExit())
        {
            if (listener.waitUntilReady (true, 20) != 1)
                continue;
            std::unique_ptr<juce::StreamingSocket> client (listener.waitForNextConnection());
            if (client != nullptr)
                serve (*client);
        }
    }

    void serve (juce::StreamingSocket& client)
    {
        std::string head;
        char buffer[1024];
        while (head.find ("\r\n\r\n") == std::string::npos)
        {
            if (client.waitUntilReady (true, 5000) != 1)
                return;
            const int n = client.read (buffer, (int) sizeof (buffer), false);
            if (n <= 0)
                return;
            head.append (buffer, (size_t) n);
        }

        Reply r;
        {
            std::lock_guard<std::mutex> l (lock);
            r = reply;
            requestLine = juce::String (head.substr (0, head.find ("\r\n")));
        }
        ++requestCount;

        const std::string header = "HTTP/1.1 " + std::to_string (r.status) + (r.status == 200 ? " OK" : " Error")
                                   + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string (r.body.size())
                                   + "\r\nConnection: close\r\n\r\n";
        client.write (header.data(), (int) header.size());
        size_t sent = 0;
        if (r.beforeBody)
        {
            // The first byte goes out with the headers (the client's connect waits for body
            // data), the rest only after the hook.
            if (!r.body.empty())
                sent = (size_t) juce::jmax (0, client.write (r.body.data(), 1));
            r.beforeBody();
        }
        if (r.body.size() > sent)
            client.write (r.body.data() + sent, (int) (r.body.size() - sent));
        // Let the client read everything before the socket goes away.
        client.waitUntilReady (true, 2000);
    }

    juce::StreamingSocket listener;
    int port = 0;
    std::atomic<int> requestCount{ 0 };
    mutable std::mutex lock;
    Reply reply;
    juce::String requestLine;
};

/** Each test gets its own data folder, our server as endpoint, and a process that has not
    checked yet. */
class UpdateCheck : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE (server.isRunning());
        previousData = juce::SystemStats::getEnvironmentVariable ("OXLADE_DATA_DIR", {});
        previousUrl = juce::SystemStats::getEnvironmentVariable ("OXLADE_UPDATE_URL", {});
        const auto base = juce::File (previousData).isDirectory() ? juce::File (previousData) : juce::File::getSpecialLocation (juce::File::tempDirectory);
        root = base.getNonexistentChildFile ("update-test", "", false);
        root.createDirectory();
        setEnv ("OXLADE_DATA_DIR", root.getFullPathName());
        setEnv ("OXLADE_UPDATE_URL", server.url());
        setEnv ("NO_PROXY", "127.0.0.1");
        setEnv ("no_proxy", "127.0.0.1");
        drainMessages(); // start tasks of instances from earlier tests (all gone) run and do nothing
        updatecheck::resetProcessCheckForTesting();
        ASSERT_EQ (updatecheck::endpoint(), server.url());
    }

    void TearDown() override
    {
        drainMessages();
        setEnv ("OXLADE_DATA_DIR", previousData);
        setEnv ("OXLADE_UPDATE_URL", previousUrl);
        root.deleteRecursively();
    }

    juce::File record() const { return updatecheck::recordFile(); }

    void writeRecordText (const juce::String& text) const
    {
        record().getParentDirectory().createDirectory();
        ASSERT_TRUE (record().replaceWithText (text));
    }

    static juce::String recordWith (juce::Time t) { return "{\"lastCheck\": \"" + updatecheck::formatUtcIso8601 (t) + "\"}"; }

    /** The record's time, or the epoch when it has none. */
    juce::Time recordedTime() const
    {
        const auto parsed = juce::JSON::parse (record().loadFileAsString());
        return juce::Time::fromISO8601 (parsed.getProperty ("lastCheck", {}).toString());
    }

    /** Creates an instance and lets its queued start task run. */
    std::unique_ptr<OxladeEQProcessor> startInstance()
    {
        auto p = std::make_unique<OxladeEQProcessor>();
        drainMessages();
        return p;
    }

    /** Creates an instance, lets its check run to the end and runs any result it posted. */
    std::unique_ptr<OxladeEQProcessor> checkedInstance()
    {
        const int finished = updatecheck::finishedFetchCount();
        auto p = startInstance();
        EXPECT_TRUE (pumpUntil ([finished] { return updatecheck::finishedFetchCount() > finished; }));
        drainMessages();
        return p;
    }

    LoopbackServer server;
    juce::File root;
    juce::String previousData, previousUrl;
};
} // namespace

//==============================================================================
TEST (UpdateCheckVersions, NaturalComparisonIgnoringCase)
{
    struct Case
    {
        const char* latest;
        bool newer;
    };
    const Case cases[] = {
        { "1.0.2", false },
        { "1.0.1", false },
        { "1.0.10", true },
        { "1.1.0", true },
        { "2.0.0", true },
        { "1.0.3", true },
        { "0.9.99", false },
        { "1.0.02", false },
        { "", false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (updatecheck::isNewerVersion (c.latest), c.newer) << c.latest;
    EXPECT_FALSE (updatecheck::isNewerVersion ("V1.0.2", "v1.0.2"));
    EXPECT_TRUE (updatecheck::isNewerVersion ("V1.0.3", "v1.0.2"));
}

TEST (UpdateCheckRecord, UtcTextReadsBackToTheSameMillisecond)
{
    const juce::Time t (juce::int64 (1714555800123)); // 2024-05-01 09:30:00.123 UTC
    EXPECT_EQ (updatecheck::formatUtcIso8601 (t), "2024-05-01T09:30:00.123Z");
    EXPECT_EQ (juce::Time::fromISO8601 (updatecheck::formatUtcIso8601 (t)), t);
}

//==============================================================================
TEST_F (UpdateCheck, RecordAgeDecidesWhetherToAsk)
{
    const auto now = juce::Time::getCurrentTime();
    const auto hour = juce::RelativeTime::hours (1.0);
    struct Case
    {
        const char* what;
        juce::String recordText; // empty: no record file
        bool asks;
    };
    const Case cases[] = {
        { "23 hours old", recordWith (now - juce::RelativeTime::hours (23.0)), false },
        { "an hour in the future", recordWith (now + hour), false },
        { "25 hours old", recordWith (now - juce::RelativeTime::hours (25.0)), true },
        { "no record", {}, true },
        { "not JSON", "lastCheck: yesterday", true },
        { "unparsable time", "{\"lastCheck\": \"yesterday\"}", true },
        { "empty time", "{\"lastCheck\": \"\"}", true },
        { "wrong type", "{\"lastCheck\": 5}", true },
    };
    server.setReply ({ 200, "{\"latest\": \"1.0.2\", \"url\": \"https://example.invalid/\"}", {} });

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        updatecheck::resetProcessCheckForTesting();
        record().deleteFile();
        if (c.recordText.isNotEmpty())
            writeRecordText (c.recordText);
        const auto before = record().loadFileAsString();
        const int requests = server.requests();
        const auto started = juce::Time (juce::Time::getCurrentTime().toMilliseconds() / 1000 * 1000);

        auto p = startInstance();
        p.reset(); // joins a check that was started; every request it made has been answered

        EXPECT_EQ (server.requests() - requests, c.asks ? 1 : 0);
        if (c.asks)
        {
            EXPECT_EQ (server.lastRequestLine(), "GET /oxlade/version.json HTTP/1.1");
            EXPECT_GE (recordedTime(), started);
        }
        else
        {
            EXPECT_EQ (record().loadFileAsString(), before);
        }
    }
}

TEST_F (UpdateCheck, RecordIsRewrittenBeforeTheAnswerArrives)
{
    writeRecordText (recordWith (juce::Time::getCurrentTime() - juce::RelativeTime::hours (25.0)));
    const auto stale = record().loadFileAsString();
    std::atomic<bool> rewrittenFirst{ false };
    server.setReply ({ 200, "{\"latest\": \"1.1.0\", \"url\": \"https://example.invalid/1.1.0\"}", [&] {
                          // The rest of the body is held back until the record shows the new attempt.
                          for (int i = 0; i < 2000 && !rewrittenFirst; ++i)
                          {
                              rewrittenFirst = record().loadFileAsString() != stale && record().loadFileAsString().contains ("lastCheck");
                              if (!rewrittenFirst)
                                  juce::Thread::sleep (1);
                          }
                      } });

    auto p = checkedInstance();
    EXPECT_TRUE (rewrittenFirst.load());
    EXPECT_TRUE (p->updateAvailable);
}

TEST_F (UpdateCheck, AnswersAndWhatTheyLeaveBehind)
{
    struct Case
    {
        const char* what;
        int status;
        std::string body;
        bool update;
        const char* latest;
        const char* url;
    };
    const Case cases[] = {
        { "same version", 200, R"({"latest": "1.0.2", "url": "https://example.invalid/a"})", false, "", "" },
        { "older", 200, R"({"latest": "1.0.1", "url": "https://example.invalid/a"})", false, "", "" },
        { "1.0.10 beats 1.0.2", 200, R"({"latest": "1.0.10", "url": "https://example.invalid/b"})", true, "1.0.10", "https://example.invalid/b" },
        { "minor step", 200, R"({"latest": "1.1.0", "url": "https://example.invalid/c", "notes": [1, 2]})", true, "1.1.0", "https://example.invalid/c" },
        { "no url", 200, R"({"latest": "1.2.0"})", true, "1.2.0", "" },
        { "not JSON", 200, "<html>Service moved</html>", false, "", "" },
        { "empty answer", 200, "", false, "", "" },
        { "no latest", 200, R"({"url": "https://example.invalid/d"})", false, "", "" },
        { "latest not a string", 200, R"({"latest": 2, "url": "https://example.invalid/e"})", false, "", "" },
        { "JSON array", 200, R"(["1.1.0"])", false, "", "" },
        { "error page", 500, R"({"latest": "9.9.9", "url": "https://example.invalid/f"})", false, "", "" },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        updatecheck::resetProcessCheckForTesting();
        record().deleteFile();
        server.setReply ({ c.status, c.body, {} });
        const int requests = server.requests();
        const auto started = juce::Time (juce::Time::getCurrentTime().toMilliseconds() / 1000 * 1000);

        auto p = checkedInstance();

        EXPECT_EQ (server.requests() - requests, 1);
        EXPECT_EQ (p->updateAvailable, c.update);
        EXPECT_EQ (p->latestVersion, juce::String (c.latest));
        EXPECT_EQ (p->updateUrl, juce::String (c.url));
        EXPECT_GE (recordedTime(), started); // every attempt is recorded, whatever the answer
    }
}

TEST_F (UpdateCheck, NoServerStillRecordsTheAttempt)
{
    // A port nobody listens on: the connection is refused at once.
    juce::StreamingSocket probe;
    ASSERT_TRUE (probe.createListener (0, "127.0.0.1"));
    const int port = probe.getBoundPort();
    probe.close();
    setEnv ("OXLADE_UPDATE_URL", "http://127.0.0.1:" + juce::String (port) + "/oxlade/version.json");

    auto p = checkedInstance();
    EXPECT_FALSE (p->updateAvailable);
    EXPECT_TRUE (record().existsAsFile());
    EXPECT_GT (recordedTime(), juce::Time());
}

TEST_F (UpdateCheck, OneRequestPerProcess)
{
    server.setReply ({ 200, R"({"latest": "1.1.0", "url": "https://example.invalid/"})", {} });
    const int finished = updatecheck::finishedFetchCount();

    auto first = std::make_unique<OxladeEQProcessor>();
    auto second = std::make_unique<OxladeEQProcessor>();
    drainMessages();
    ASSERT_TRUE (pumpUntil ([finished] { return updatecheck::finishedFetchCount() > finished; }));
    drainMessages();

    EXPECT_EQ (server.requests(), 1);
    EXPECT_TRUE (first->updateAvailable);
    EXPECT_FALSE (second->updateAvailable); // later instances do not learn the first one's result

    // Even with the record gone, a later instance of this process does not ask again.
    record().deleteFile();
    auto third = startInstance();
    third.reset();
    second.reset();
    first.reset();
    EXPECT_EQ (server.requests(), 1);
    EXPECT_FALSE (record().exists());
}

TEST_F (UpdateCheck, DestroyedWhileTheAnswerIsOnItsWay)
{
    std::atomic<bool> requested{ false };
    server.setReply ({ 200, R"({"latest": "1.1.0", "url": "https://example.invalid/"})", [&] {
                          requested = true;
                          juce::Thread::sleep (1000); // slow answer, well inside the stall limit
                      } });
    const int finished = updatecheck::finishedFetchCount();

    auto p = startInstance();
    ASSERT_TRUE (pumpUntil ([&] { return requested.load(); }));
    p.reset(); // waits for the fetch thread, which finds the instance gone

    EXPECT_EQ (updatecheck::finishedFetchCount(), finished + 1);
    drainMessages(); // a result task, had one been posted, must not touch the freed instance
    EXPECT_EQ (server.requests(), 1);
}
