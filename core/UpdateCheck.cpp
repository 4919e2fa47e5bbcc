// Update check: once per process and at most once a day, on a background thread.

#include "core/UpdateCheck.h"
#include "core/OxladeEQProcessor.h"

#include <ctime>
#include <nlohmann/json.hpp>
#include <system_error>

namespace oxlade
{
namespace updatecheck
{
    namespace
    {
        std::atomic<bool> processCheckStarted{ false };
        std::atomic<int> finishedFetches{ 0 };
    } // namespace

    juce::String endpoint()
    {
        const auto overrideUrl = juce::SystemStats::getEnvironmentVariable ("OXLADE_UPDATE_URL", {});
        return overrideUrl.isNotEmpty() ? overrideUrl : juce::String (defaultEndpoint);
    }

    juce::File recordFile()
    {
        return OxladeEQProcessor::applicationDataRoot().getChildFile ("Harlund").getChildFile ("Oxlade").getChildFile ("update_check.json");
    }

    bool isCheckDue (const juce::File& record, juce::Time now)
    {
        if (!record.existsAsFile())
            return true;
        const auto parsed = nlohmann::json::parse (record.loadFileAsString().toStdString(), nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object())
            return true;
        const auto it = parsed.find ("lastCheck");
        if (it == parsed.end() || !it->is_string())
            return true;
        const auto text = juce::String::fromUTF8 (it->get_ref<const std::string&>().c_str());
        if (text.isEmpty())
            return true;
        // An unparsable time reads as the epoch, which is long ago: the check runs.
        const auto last = juce::Time::fromISO8601 (text);
        return (now - last).inMilliseconds() >= checkIntervalMs;
    }

    juce::String formatUtcIso8601 (juce::Time t)
    {
        const auto ms = t.toMilliseconds();
        const auto seconds = (std::time_t) (ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
        const auto millis = (int) (ms - (juce::int64) seconds * 1000);
        std::tm utc{};
#if JUCE_WINDOWS
        gmtime_s (&utc, &seconds);
#else
        gmtime_r (&seconds, &utc);
#endif
        return juce::String::formatted ("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, millis);
    }

    bool writeRecord (const juce::File& record, juce::Time now)
    {
        record.getParentDirectory().createDirectory();
        auto* object = new juce::DynamicObject();
        object->setProperty ("lastCheck", formatUtcIso8601 (now));
        return record.replaceWithText (juce::JSON::toString (juce::var (object)));
    }

    std::optional<Answer> parseAnswer (const juce::String& text)
    {
        const auto parsed = nlohmann::json::parse (text.toStdString(), nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object())
            return std::nullopt;
        Answer answer;
        for (auto [key, field] : { std::pair<const char*, juce::String*>{ "latest", &answer.latest }, { "url", &answer.url } })
        {
            const auto it = parsed.find (key);
            if (it == parsed.end())
                continue;
            if (!it->is_string())
                return std::nullopt;
            *field = juce::String::fromUTF8 (it->get_ref<const std::string&>().c_str());
        }
        return answer;
    }

    bool isNewerVersion (const juce::String& latest, const juce::String& own)
    {
        return latest.compareNatural (own, false) > 0;
    }

    bool claimProcessCheck() noexcept
    {
        return !processCheckStarted.exchange (true);
    }

    void resetProcessCheckForTesting() noexcept
    {
        processCheckStarted.store (false);
    }

    int finishedFetchCount() noexcept
    {
        return finishedFetches.load();
    }

    namespace
    {
        /** The background part: ask, record the attempt, read, compare, and hand a newer version
            to the message thread. Touches the processor only inside the posted task, and only
            while its alive flag is still set. */
        void fetch (OxladeEQProcessor* processor, std::shared_ptr<std::atomic<bool>> alive, juce::File record, juce::String address)
        {
            try
            {
                int status = 0;
                auto stream = juce::URL (address).createInputStream (juce::URL::InputStreamOptions (juce::URL::ParameterHandling::inAddress)
                                                                         .withConnectionTimeoutMs (3000)
                                                                         .withStatusCode (&status));

                // Every attempt counts, answered or not: a failed one also waits a day.
                writeRecord (record, juce::Time::getCurrentTime());

                // An error page is not an answer (status 0: a scheme without status codes).
                if (stream == nullptr || !alive->load() || (status != 0 && (status < 200 || status > 299)))
                    return;

                const auto text = stream->readEntireStreamAsString();
                if (text.isEmpty() || !alive->load())
                    return;

                const auto answer = parseAnswer (text);
                if (!answer.has_value() || answer->latest.isEmpty())
                    return;
                if (!isNewerVersion (answer->latest) || !alive->load())
                    return;

                juce::MessageManager::callAsync ([processor, alive, latest = answer->latest, url = answer->url] {
                    if (!alive->load())
                        return;
                    processor->latestVersion = latest;
                    processor->updateUrl = url;
                    processor->updateAvailable = true;
                });
            }
            catch (...)
            {
                try
                {
                    writeRecord (record, juce::Time::getCurrentTime());
                }
                catch (...)
                {
                }
            }
        }
    } // namespace
} // namespace updatecheck

void OxladeEQProcessor::startUpdateCheck()
{
    if (!updatecheck::claimProcessCheck())
        return;

    const auto record = updatecheck::recordFile();
    if (!updatecheck::isCheckDue (record, juce::Time::getCurrentTime()))
        return;

    try
    {
        backgroundThreads.emplace_back ([processor = this, alive = aliveFlag, record, address = updatecheck::endpoint()] {
            updatecheck::fetch (processor, alive, record, address);
            ++updatecheck::finishedFetches;
        });
    }
    catch (const std::system_error&)
    {
        // No thread to be had: no check this time, like any other failed attempt.
    }
}
} // namespace oxlade
